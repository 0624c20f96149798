// Buttons and indicators: states, callbacks, images, and which mouse events they take.
#include "bitmap_button.h"
#include "image_indicator.h"
#include "push_button.h"
#include "widget_fixture.h"

namespace {

TEST(PushButton, PlainButtonStaysUpAndFiresOnPressOrDoubleClick) {
  CountingOwner owner;
  PushButton button(120, 32, 15, 13, &owner, Fire(), 0);
  wxMouseEvent press = Mouse(wxEVT_LEFT_DOWN, 125, 35);
  wxMouseEvent twice = Mouse(wxEVT_LEFT_DCLICK, 125, 35);
  wxMouseEvent release = Mouse(wxEVT_LEFT_UP, 125, 35);
  wxMouseEvent motion = Mouse(wxEVT_MOTION, 125, 35);
  EXPECT_TRUE(button.HandleMouse(press));
  EXPECT_TRUE(button.HandleMouse(twice));
  EXPECT_FALSE(button.HandleMouse(release));
  EXPECT_FALSE(button.HandleMouse(motion));
  EXPECT_EQ(button.GetState(), PushButton::kUp);
  EXPECT_EQ(owner.calls, 2);
  button.Disable();
  EXPECT_FALSE(button.HandleMouse(press));
  EXPECT_EQ(owner.calls, 2);
  owner.Destroy();
}

TEST(BitmapButton, TogglingButtonPressedTwiceIsUpAgainAfterTwoCalls) {
  CountingOwner owner;
  BitmapButton button(2, 3, 6, 4, &owner, Fire(), 1, Solid(6, 4, *wxBLACK),
                      Solid(6, 4, *wxWHITE));
  wxMouseEvent press = Mouse(wxEVT_LEFT_DOWN, 3, 4);
  ASSERT_TRUE(button.HandleMouse(press));
  EXPECT_EQ(button.GetState(), PushButton::kDown);
  {
    Canvas canvas(10, 10);
    button.Draw(canvas.dc());
    const wxImage image = canvas.Image();
    EXPECT_TRUE(IsColour(image, 2, 3, *wxWHITE));
    EXPECT_TRUE(IsColour(image, 7, 6, *wxWHITE));
    EXPECT_TRUE(IsColour(image, 8, 6, *wxBLUE));
  }
  wxMouseEvent twice = Mouse(wxEVT_LEFT_DCLICK, 3, 4);
  ASSERT_TRUE(button.HandleMouse(twice));
  EXPECT_EQ(button.GetState(), PushButton::kUp);
  EXPECT_EQ(owner.calls, 2);
  Canvas canvas(10, 10);
  button.Draw(canvas.dc());
  EXPECT_TRUE(IsColour(canvas.Image(), 2, 3, *wxBLACK));
  owner.Destroy();
}

TEST(ImageIndicator, ShowsTheImageOfItsIndexAndTakesNoClicks) {
  ImageIndicator lamp(1, 1, 3, 3, nullptr, Solid(3, 3, *wxBLACK));
  EXPECT_EQ(lamp.dirty, 0);
  lamp.AddImage(Solid(3, 3, *wxRED));
  EXPECT_EQ(lamp.dirty, 0);
  EXPECT_EQ(lamp.ImageCount(), 2);
  {
    Canvas canvas(5, 5);
    lamp.Draw(canvas.dc());
    EXPECT_TRUE(IsColour(canvas.Image(), 2, 2, *wxBLACK));
  }
  lamp.SetIndex(1);
  EXPECT_EQ(lamp.dirty, 1);
  {
    Canvas canvas(5, 5);
    lamp.Draw(canvas.dc());
    const wxImage image = canvas.Image();
    EXPECT_TRUE(IsColour(image, 1, 1, *wxRED));
    EXPECT_TRUE(IsColour(image, 4, 4, *wxBLUE));
  }
  // An index without an image draws nothing.
  lamp.SetIndex(5);
  Canvas canvas(5, 5);
  lamp.Draw(canvas.dc());
  EXPECT_TRUE(IsColour(canvas.Image(), 2, 2, *wxBLUE));

  wxMouseEvent press = Mouse(wxEVT_LEFT_DOWN, 2, 2);
  EXPECT_FALSE(lamp.HandleMouse(press));
}

}  // namespace
