// Where a text label puts its text and that it never draws outside its rectangle.
#include "text_label.h"
#include "choice_label.h"
#include "widget_fixture.h"

namespace {

// Columns of the canvas that hold any black pixel.
std::pair<int, int> InkColumns(const wxImage& image) {
  int first = -1, last = -1;
  for (int x = 0; x < image.GetWidth(); ++x) {
    for (int y = 0; y < image.GetHeight(); ++y) {
      if (image.GetRed(x, y) < 100 && image.GetGreen(x, y) < 100 && image.GetBlue(x, y) < 100) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

TEST(TextLabel, CentresTextThatFits) {
  TextLabel label(10, 5, 63, 19, nullptr, TextLabel::kCentred);
  EXPECT_EQ(label.TextLeft(20), 10 + 31 - 10);
  EXPECT_EQ(label.TextLeft(21), 10 + 31 - 10);  // each half truncated
  EXPECT_EQ(label.TextLeft(63), 10);
  EXPECT_EQ(label.TextLeft(64), 10);  // wider than the field: from the left edge
  TextLabel left(10, 5, 63, 19, nullptr, 0);
  EXPECT_EQ(left.TextLeft(20), 10);
}

TEST(TextLabel, WideTextStartsAtTheLeftEdgeAndIsClipped) {
  TextLabel label(10, 5, 40, 19, nullptr, TextLabel::kCentred);
  label.SetText("12345678901234567890");
  EXPECT_EQ(label.dirty, 1);
  Canvas canvas(80, 30, *wxWHITE);
  canvas.dc().SetFont(wxFont(8, wxFONTFAMILY_MODERN, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
  label.Draw(canvas.dc());
  const auto [first, last] = InkColumns(canvas.Image());
  ASSERT_GE(first, 0) << "nothing drawn";
  EXPECT_GE(first, 10);
  EXPECT_LE(first, 12);
  EXPECT_LE(last, 49);
  EXPECT_GE(last, 45);
}

class ScriptedChoice : public ChoiceLabel {
public:
  using ChoiceLabel::ChoiceLabel;
  int pick = -1;  // what the user picks when the menu pops up; -1 closes it without a pick
  int popups = 0;

protected:
  void PopUp() override {
    ++popups;
    if (pick >= 0) {
      wxCommandEvent event(wxEVT_MENU, pick);
      Menu().ProcessEvent(event);
    }
  }
};

const char* const kItems[] = {"Normal", "4x4", "Converter"};

TEST(ChoiceLabel, PickCallsBackOnlyForANewItem) {
  CountingOwner owner;
  ScriptedChoice choice(12, 35, 108, 19, &owner, Fire(), 0, kItems, 3);
  EXPECT_EQ(choice.GetIndex(), 0);
  EXPECT_EQ(choice.GetText(), "Normal");
  wxMouseEvent press = Mouse(wxEVT_LEFT_DOWN, 20, 40);

  choice.pick = 2;
  EXPECT_TRUE(choice.HandleMouse(press));
  EXPECT_EQ(choice.GetIndex(), 2);
  EXPECT_EQ(choice.GetText(), "Converter");
  EXPECT_EQ(owner.calls, 1);

  choice.pick = 2;  // the item already shown
  EXPECT_TRUE(choice.HandleMouse(press));
  EXPECT_EQ(owner.calls, 1);

  // Changed from outside, then a popup closed without a pick: nothing changes.
  choice.SetIndex(1);
  choice.pick = -1;
  EXPECT_TRUE(choice.HandleMouse(press));
  EXPECT_EQ(choice.GetIndex(), 1);
  EXPECT_EQ(choice.GetText(), "4x4");
  EXPECT_EQ(owner.calls, 1);
  owner.Destroy();
}

TEST(ChoiceLabel, DisabledOrOtherButtonsPassTheEventOn) {
  CountingOwner owner;
  ScriptedChoice choice(12, 35, 108, 19, &owner, Fire(), 0, kItems, 3);
  choice.pick = 1;
  wxMouseEvent right = Mouse(wxEVT_RIGHT_DOWN, 20, 40);
  wxMouseEvent up = Mouse(wxEVT_LEFT_UP, 20, 40);
  EXPECT_FALSE(choice.HandleMouse(right));
  EXPECT_FALSE(choice.HandleMouse(up));
  choice.Disable();
  wxMouseEvent press = Mouse(wxEVT_LEFT_DOWN, 20, 40);
  EXPECT_FALSE(choice.HandleMouse(press));
  EXPECT_EQ(choice.popups, 0);
  EXPECT_EQ(owner.calls, 0);
  choice.Enable();
  EXPECT_TRUE(choice.HandleMouse(press));
  EXPECT_EQ(owner.calls, 1);
  owner.Destroy();
}

TEST(ChoiceLabel, TextThatIsNoItemSelectsNone) {
  const char* const rates[] = {"96000", "48000"};
  ChoiceLabel choice(12, 82, 108, 19, nullptr, nullptr, 0, rates, 2);
  choice.SetText("48000");
  EXPECT_EQ(choice.GetIndex(), 1);
  choice.SetText("48000 (S/PDIF)");
  EXPECT_EQ(choice.GetIndex(), -1);
  EXPECT_EQ(choice.GetText(), "48000 (S/PDIF)");
  choice.SetText("(no spdif clock)");
  EXPECT_EQ(choice.GetIndex(), -1);
  EXPECT_EQ(choice.dirty, 1);
}

TEST(ChoiceLabel, DrawsInsideItsFieldOnly) {
  ChoiceLabel choice(10, 5, 30, 19, nullptr, nullptr, 0, kItems, 3);
  choice.SetText("Normal + S/PDIF and more");
  Canvas canvas(80, 30, *wxWHITE);
  canvas.dc().SetFont(wxFont(8, wxFONTFAMILY_MODERN, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL));
  choice.Draw(canvas.dc());
  const auto [first, last] = InkColumns(canvas.Image());
  ASSERT_GE(first, 0);
  EXPECT_GE(first, 11);
  EXPECT_LE(last, 10 + 30 - 2);
}

}  // namespace
