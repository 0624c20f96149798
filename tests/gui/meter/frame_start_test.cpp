// Starting the window: with a working card, without one, with a mismatched or unsupported one.
#include "meter_gui_fixture.h"

namespace {

TEST_F(MeterFrameTest, WorkingCardIsStartedAndShownAndClosedInOrder) {
  Route(2);
  Slaved(1);
  Open();
  EXPECT_TRUE(Messages().empty());
  ASSERT_NE(probe->Device(), nullptr);
  EXPECT_EQ(card.count(IOCTL_LLVA_START), 1u);
  EXPECT_EQ(frame->GetTitle(), "Vexa-o-meter");
  EXPECT_EQ(frame->GetName(), "Vexameter");
  EXPECT_EQ(probe->Routing().GetText(), "Converter");
  EXPECT_EQ(probe->Rate().GetText(), "48000 (S/PDIF)");
  EXPECT_EQ(probe->Slave().GetState(), PushButton::kDown);
  EXPECT_EQ(probe->ClipCountChoice().GetText(), "3");
  EXPECT_EQ(probe->ClipBits().GetText(), "24");
  EXPECT_EQ(probe->Ballistics().GetText(), "Peak / Hold");
  EXPECT_EQ(probe->ClipReadout().GetText(), "0/0");
  // The clip bits shown are the ones the ballistics use.
  EXPECT_EQ(probe->LeftBallistics().ClipBits(), 24);
  EXPECT_EQ(probe->RightBallistics().ClipBits(), 24);

  int widgets = 0;
  for (MeterWidget* w = probe->FirstWidget(); w; w = w->next) ++widgets;
  EXPECT_EQ(widgets, 24);

  frame.reset();
  const auto requests = card.requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().code, static_cast<DWORD>(IOCTL_LLVA_STOP));
  EXPECT_EQ(card.closedCount(), card.openCount());
}

TEST_F(MeterFrameTest, MissingOrMismatchedDriverIsReportedAndTheWindowWorksWithout) {
  card.setAvailable(false);
  Open();
  ASSERT_EQ(Messages(), std::vector<std::string>{"Vexa-o-meter: drivers are disabled, missing, or in use!"});
  EXPECT_EQ(probe->Device(), nullptr);
  // Controls change only their own widgets.
  frame->RoutingDown();
  EXPECT_EQ(probe->Routing().GetText(), "4x4");
  frame->RateDown();
  EXPECT_EQ(probe->Rate().GetText(), "88200");
  frame->ClipCountUp();
  EXPECT_EQ(probe->ClipCountChoice().GetText(), "4");
  probe->Slave().SetState(PushButton::kDown);
  frame->ToggleSlave();
  EXPECT_TRUE(card.requests().empty());
  frame.reset();

  card.setAvailable(true);
  card.reply(IOCTL_LLVA_GET_VERSION, {true, 4, {1}, {}});
  Messages().clear();
  Open();
  ASSERT_EQ(Messages(), std::vector<std::string>{"Vexa-o-meter: wrong driver version!"});
  EXPECT_EQ(probe->Device(), nullptr);
  EXPECT_EQ(card.closedCount(), card.openCount());
  EXPECT_EQ(card.count(IOCTL_LLVA_START), 0u);
}

TEST_F(MeterFrameTest, UnsupportedCardOrRefusedStartEndsStartUpWithoutAWindow) {
  MeterApp& app = static_cast<MeterApp&>(*wxTheApp);
  ASSERT_TRUE(wxTopLevelWindows.empty());

  card.reply(IOCTL_LLVA_GET_INFO, {true, 48, {0, 1, 1, 0, 0, 0, 48000}, {}});
  EXPECT_FALSE(app.OnInit());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Vexa-o-meter: LLVA Init failed, exiting!"});
  EXPECT_TRUE(wxTopLevelWindows.empty());

  AcceptCard(48000);
  card.reply(IOCTL_LLVA_START, {false, 0, {}, {}});
  Messages().clear();
  EXPECT_FALSE(app.OnInit());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Vexa-o-meter: VxD start failed, exiting!"});
  EXPECT_TRUE(wxTopLevelWindows.empty());
  EXPECT_EQ(card.closedCount(), card.openCount());

  // A route request that fails while the display is filled in ends start-up too, and so
  // does a slave status that the rate read-out needs.
  card.reply(IOCTL_LLVA_START, {true, 0, {}, {}});
  card.reply(IOCTL_LLVA_GET_ROUTE, {false, 0, {}, {}});
  Messages().clear();
  EXPECT_FALSE(app.OnInit());
  EXPECT_EQ(Messages(), std::vector<std::string>{"Vexa-o-meter: VxD route get failed, exiting!"});
  EXPECT_TRUE(wxTopLevelWindows.empty());
  EXPECT_EQ(card.closedCount(), card.openCount());

  Route(0);
  card.reply(IOCTL_LLVA_GET_SLAVE_STATUS, {false, 0, {}, {}});
  Messages().clear();
  EXPECT_FALSE(app.OnInit());
  EXPECT_EQ(Messages(),
            std::vector<std::string>{"Vexa-o-meter: VxD S/PDIF slave status check failed, exiting!"});
  EXPECT_TRUE(wxTopLevelWindows.empty());
}

}  // namespace
