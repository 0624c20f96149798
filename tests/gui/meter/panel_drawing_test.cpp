// The panel on the screen: what a change repaints, where clicks land, and the window's size.
#include "meter_gui_fixture.h"

#include <gtk/gtk.h>
#include <wx/dialog.h>
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

// The program's modal loops: a choice's popup menu, a message box and a modal dialog (as the
// help window's are). Each is opened from within the main loop's dispatch, as a click or a
// command opens it; while it is up, meter data arrives and idle passes come, then it closes.
class ModalLoopTest : public PanelTest {
protected:
  struct Round {
    std::function<void()> open;  // returns once the loop has ended
    std::function<GtkWidget*()> find;
    std::function<void(GtkWidget*)> close;
    ModalLoopTest* test = nullptr;
    int ticks = 0;
    bool up = false;
    bool done = false;
    int idlesWhileUp = 0;
    uint32_t callsWhileUp = 0;
    size_t acknowledgedWhileUp = 0;
    int meterPaintsWhileUp = 0;
  };

  void SetUp() override {
    PanelTest::SetUp();
    const std::vector<uint32_t> starts = Sent(IOCTL_LLVA_START);
    ASSERT_EQ(starts.size(), 1u);
    routine = reinterpret_cast<PAPCFUNC>(static_cast<uintptr_t>(starts[0]));
    block = {kMeterData, Address(loud.data()), Address(loud.data()),
             static_cast<LONG>(loud.size()), Address(probe->Device())};
    wxTheApp->Bind(wxEVT_IDLE, &ModalLoopTest::CountIdle, this);
    probe->Panel()->Bind(wxEVT_PAINT, &ModalLoopTest::NotePaint, this);
  }
  void TearDown() override {
    wxTheApp->Unbind(wxEVT_IDLE, &ModalLoopTest::CountIdle, this);
    probe->Panel()->Unbind(wxEVT_PAINT, &ModalLoopTest::NotePaint, this);
    PanelTest::TearDown();
  }

  static DWORD Address(const void* p) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(p)); }
  void CountIdle(wxIdleEvent& event) {
    ++idles;
    event.Skip();
  }
  void NotePaint(wxPaintEvent& event) {
    const wxRect box = probe->Panel()->GetUpdateRegion().GetBox();
    if (box.Intersects(probe->LeftMeter().Rect()) || box.Intersects(probe->RightMeter().Rect())) {
      ++meterPaints;
      callsAtMeterPaints.push_back(MeterFrame::meterDataCalls);
    }
    event.Skip();
  }

  static gboolean Open(gpointer data) {
    auto* round = static_cast<Round*>(data);
    g_timeout_add(20, &ModalLoopTest::WhileUp, round);
    round->open();
    // Paints of the meters from here on come after the loop; nothing has caught up yet.
    round->test->callsAtMeterPaints.clear();
    round->done = true;
    return G_SOURCE_REMOVE;
  }

  // Inside the loop: once its window is up, the card sends three blocks; 300 ms of idle passes
  // later, what the meters took is noted and the window is closed.
  static gboolean WhileUp(gpointer data) {
    auto* round = static_cast<Round*>(data);
    ModalLoopTest& t = *round->test;
    GtkWidget* window = round->find();
    if (!round->up) {
      // Generously long for a loaded machine.
      if (!window) return ++round->ticks < 500 ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
      round->up = true;
      round->ticks = 0;
      t.idles = 0;
      t.meterPaints = 0;
      for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(t.card.queueApcToSender(IOCTL_LLVA_START, t.routine,
                                            reinterpret_cast<ULONG_PTR>(&t.block)));
    }
    wxWakeUpIdle();
    if (++round->ticks < 15 || !window) return G_SOURCE_CONTINUE;
    round->idlesWhileUp = t.idles;
    round->callsWhileUp = MeterFrame::meterDataCalls;
    round->acknowledgedWhileUp = t.card.count(IOCTL_LLVA_ACKNOWLEDGE);
    round->meterPaintsWhileUp = t.meterPaints;
    round->close(window);
    return G_SOURCE_REMOVE;
  }

  void Run(Round& round) {
    round.test = this;
    const uint32_t calls = MeterFrame::meterDataCalls;
    const size_t acknowledged = card.count(IOCTL_LLVA_ACKNOWLEDGE);
    g_timeout_add(0, &ModalLoopTest::Open, &round);
    ASSERT_TRUE(WaitFor([&] { return round.done; }));
    ASSERT_TRUE(round.up) << "the loop's window never showed";
    EXPECT_GT(round.idlesWhileUp, 0);
    EXPECT_EQ(round.callsWhileUp, calls) << "the meters took data under the open window";
    EXPECT_EQ(round.acknowledgedWhileUp, acknowledged);
    EXPECT_EQ(round.meterPaintsWhileUp, 0);

    // Afterwards every block is taken in one go: no paint shows the meters part-way.
    ASSERT_TRUE(WaitFor([&] { return MeterFrame::meterDataCalls == calls + 3; }));
    Settle();
    EXPECT_EQ(MeterFrame::meterDataCalls, calls + 3);
    EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), acknowledged + 3);
    ASSERT_FALSE(callsAtMeterPaints.empty());
    EXPECT_EQ(callsAtMeterPaints.back(), calls + 3);
    for (uint32_t taken : callsAtMeterPaints)
      EXPECT_TRUE(taken == calls || taken == calls + 3) << "a paint after " << taken - calls;
  }

  // The visible GTK window of this kind, if one is up.
  template <class Test>
  static GtkWidget* Shown(Test isKind) {
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* w = windows; w; w = w->next) {
      GtkWidget* window = GTK_WIDGET(w->data);
      if (gtk_widget_get_visible(window) && isKind(window)) found = window;
    }
    g_list_free(windows);
    return found;
  }

  PAPCFUNC routine = nullptr;
  std::vector<int32_t> loud = std::vector<int32_t>(1920, 0x40000000);
  MeterNotification block{};
  int idles = 0;
  int meterPaints = 0;
  std::vector<uint32_t> callsAtMeterPaints;
};

TEST_F(ModalLoopTest, MetersStandStillUnderAPopupMenu) {
  Round round;
  round.open = [&] { Click(60, 240); };  // the clip-bits choice
  round.find = [] {
    GtkWidget* popup = Shown([](GtkWidget* w) {
      GtkWidget* child = gtk_bin_get_child(GTK_BIN(w));
      return child && GTK_IS_MENU(child);
    });
    return popup ? gtk_bin_get_child(GTK_BIN(popup)) : nullptr;
  };
  round.close = [](GtkWidget* menu) { gtk_menu_shell_cancel(GTK_MENU_SHELL(menu)); };
  Run(round);
  EXPECT_EQ(probe->ClipBits().GetText(), "24");
}

TEST_F(ModalLoopTest, MetersStandStillUnderAMessageBox) {
  SetMeterMessageHandler(nullptr);
  Round round;
  round.open = [&] {
    wxCommandEvent about(wxEVT_MENU, 2);
    about.SetEventObject(frame.get());
    frame->GetEventHandler()->ProcessEvent(about);
  };
  round.find = [] { return Shown([](GtkWidget* w) { return GTK_IS_MESSAGE_DIALOG(w); }); };
  round.close = [](GtkWidget* box) { gtk_dialog_response(GTK_DIALOG(box), GTK_RESPONSE_OK); };
  Run(round);
}

TEST_F(ModalLoopTest, MetersStandStillUnderAModalDialog) {
  wxDialog dialog(nullptr, wxID_ANY, "Options", wxPoint(600, 600), wxSize(200, 100));
  Round round;
  round.open = [&] { dialog.ShowModal(); };
  round.find = [&] { return dialog.IsModal() ? dialog.GetHandle() : nullptr; };
  round.close = [&](GtkWidget*) { dialog.EndModal(wxID_CANCEL); };
  Run(round);
}

}  // namespace
