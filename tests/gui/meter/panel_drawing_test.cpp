// The panel on the screen: what a change repaints, where clicks land, and the window's size.
#include "meter_gui_fixture.h"

#include <wx/image.h>
#include <wx/utils.h>

#include <stdlib.h>

#include <chrono>
#include <functional>
#include <thread>

namespace {

class PanelTest : public MeterFrameTest {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/vexameter-shots-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    shotFolder = pattern;
    Open();
    frame->Show(true);
    ASSERT_TRUE(WaitFor([&] { return frame->Painted().paints > 0; })) << "never painted";
    Settle();
  }

  // Runs the toolkit until `done` holds; generous, as the machine may be busy.
  bool WaitFor(const std::function<bool()>& done, int timeoutMs = 20000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      wxTheApp->Yield(true);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  // Lets late exposures of the new window pass.
  void Settle() {
    uint32_t paints = frame->Painted().paints;
    for (int quiet = 0; quiet < 20;) {
      wxTheApp->Yield(true);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (frame->Painted().paints == paints) {
        ++quiet;
      } else {
        paints = frame->Painted().paints;
        quiet = 0;
      }
    }
  }

  void IdlePass() {
    wxIdleEvent idle;
    idle.SetEventObject(frame.get());
    frame->ProcessWindowEvent(idle);
  }

  // The client area as it is on the screen, taken by the X server's own screenshot tool.
  wxImage Screen() {
    const wxPoint origin = frame->ClientToScreen(wxPoint(0, 0));
    const std::string file = std::string(shotFolder) + "/screen.bmp";
    const std::string command = "import -silent -window root -crop 230x262+" +
                                std::to_string(origin.x) + "+" + std::to_string(origin.y) +
                                " +repage bmp3:" + file;
    EXPECT_EQ(system(command.c_str()), 0) << command;
    wxImage image;
    EXPECT_TRUE(image.LoadFile(file, wxBITMAP_TYPE_BMP));
    return image;
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(shotFolder, ignored);
  }

  std::string shotFolder;

  static bool SamePixel(const wxImage& a, const wxImage& b, int x, int y) {
    return a.GetRed(x, y) == b.GetRed(x, y) && a.GetGreen(x, y) == b.GetGreen(x, y) &&
           a.GetBlue(x, y) == b.GetBlue(x, y);
  }
};

TEST_F(PanelTest, ClientAreaIsTheFixedPanel) {
  EXPECT_EQ(frame->GetClientSize(), wxSize(230, 262));
  EXPECT_FALSE(frame->HasFlag(wxRESIZE_BORDER));
  EXPECT_FALSE(frame->HasFlag(wxMAXIMIZE_BOX));
  EXPECT_FALSE(frame->HasFlag(wxMINIMIZE_BOX));
  frame->SetClientSize(400, 300);
  frame->SetSize(500, 500);
  wxTheApp->Yield(true);
  EXPECT_EQ(frame->GetClientSize(), wxSize(230, 262));
}

TEST_F(PanelTest, ChangedMeterIsTheOnlyThingRepainted) {
  const wxImage before = Screen();
  ASSERT_EQ(before.GetSize(), wxSize(230, 262));
  // The background's panel colour shows on the screen, so the grab works.
  ASSERT_EQ(before.GetRed(2, 2), 41);
  ASSERT_EQ(before.GetBlue(2, 2), 189);

  // The right meter changes without asking for a repaint; the left one asks.
  probe->RightMeter().level = 0.0;
  probe->LeftMeter().level = 0.0;
  probe->LeftMeter().MarkDirty();
  const uint32_t paints = frame->Painted().paints;
  const uint32_t draws = frame->Painted().draws;
  IdlePass();
  EXPECT_EQ(probe->LeftMeter().dirty, 0);
  ASSERT_TRUE(WaitFor([&] { return frame->Painted().paints > paints; }));
  Settle();
  EXPECT_EQ(frame->Painted().paints, paints + 1);
  EXPECT_EQ(frame->Painted().draws, draws + 1);
  EXPECT_EQ(frame->Painted().lastUpdate, wxRect(159, 23, 9, 175));

  const wxImage after = Screen();
  const wxRect meter(159, 23, 9, 175);
  int changedInside = 0;
  for (int y = 0; y < 262; ++y) {
    for (int x = 0; x < 230; ++x) {
      if (meter.Contains(x, y)) {
        changedInside += !SamePixel(before, after, x, y);
      } else {
        ASSERT_TRUE(SamePixel(before, after, x, y)) << "changed outside the meter at " << x << ","
                                                     << y;
      }
    }
  }
  EXPECT_GT(changedInside, 0);

  // Nothing dirty: an idle pass asks for nothing.
  IdlePass();
  Settle();
  EXPECT_EQ(frame->Painted().paints, paints + 1);
}

TEST_F(PanelTest, ALabelsClippingDoesNotHideTheWidgetsDrawnAfterIt) {
  const wxImage before = Screen();
  // One paint for the rate choice, which clips its text to its field, and the slave switch
  // after it in the list, which lies wholly outside that field.
  probe->Rate().SetText("22050");
  probe->Slave().SetState(PushButton::kDown);
  const uint32_t paints = frame->Painted().paints;
  IdlePass();
  ASSERT_TRUE(WaitFor([&] { return frame->Painted().paints > paints; }));
  Settle();
  EXPECT_EQ(frame->Painted().lastUpdate, wxRect(12, 82, 123, 48));

  const wxImage after = Screen();
  int changed = 0;
  for (int y = 111; y < 130; ++y)
    for (int x = 12; x < 135; ++x) changed += !SamePixel(before, after, x, y);
  // The switch's "on" image differs from its "off" image nearly everywhere.
  EXPECT_GT(changed, 123 * 19 / 2) << "the slave switch was not drawn in full";
}

TEST_F(PanelTest, ClicksReachTheWidgetUnderThePointer) {
  auto lightLamps = [&] {
    probe->LeftLamp().SetIndex(1);
    probe->RightLamp().SetIndex(1);
    probe->ClipReadout().SetText("5/7");
  };
  auto lampsReset = [&] {
    return probe->LeftLamp().GetIndex() == 0 && probe->RightLamp().GetIndex() == 0 &&
           probe->ClipReadout().GetText() == "0/0";
  };

  lightLamps();
  Click(159, 11);  // on the left lamp: the reset area behind it takes it
  EXPECT_TRUE(lampsReset());
  lightLamps();
  Click(200, 11, wxEVT_LEFT_DCLICK);
  EXPECT_TRUE(lampsReset());
  lightLamps();
  Click(208, 19);  // the reset area's last pixel
  EXPECT_TRUE(lampsReset());

  lightLamps();
  Click(209, 11);  // just outside every widget
  Click(60, 25);   // a caption
  Click(159, 11, wxEVT_RIGHT_DOWN);
  Click(159, 11, wxEVT_MOTION);
  EXPECT_FALSE(lampsReset());
  EXPECT_EQ(probe->Routing().GetText(), "Normal");
  EXPECT_TRUE(card.requests().size() > 0);
  EXPECT_TRUE(Sent(IOCTL_LLVA_SET_ROUTE).empty());
}

}  // namespace
