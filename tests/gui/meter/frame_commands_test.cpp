// What the controls send to the card and how the display follows.
#include "meter_gui_fixture.h"

namespace {

TEST_F(MeterFrameTest, RoutingArrowsStopAtTheFirstMode) {
  Open();
  frame->RoutingUp();
  EXPECT_TRUE(Sent(IOCTL_LLVA_SET_ROUTE).empty());
  frame->RoutingDown();
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_ROUTE), std::vector<uint32_t>{1});
}

TEST_F(MeterFrameTest, RoutingArrowsStopAtTheLastMode) {
  Route(4);
  Open();
  EXPECT_EQ(probe->Routing().GetText(), "4x4 + S/PDIF");
  frame->RoutingDown();
  EXPECT_TRUE(Sent(IOCTL_LLVA_SET_ROUTE).empty());
  frame->RoutingUp();
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_ROUTE), std::vector<uint32_t>{3});
}

TEST_F(MeterFrameTest, RoutingTheCardCannotReportOrRefusesKeepsTheDisplayUsable) {
  Route(7);
  Open();
  EXPECT_EQ(probe->Routing().GetIndex(), -1);
  EXPECT_EQ(probe->Routing().GetText(), "(unknown)");
  EXPECT_FALSE(probe->Rate().IsEnabled());
  frame->RoutingUp();
  EXPECT_TRUE(Sent(IOCTL_LLVA_SET_ROUTE).empty());

  // A refused route request is not an error the user sees; the display shows the card's mode.
  Route(0);
  card.reply(IOCTL_LLVA_SET_ROUTE, {false, 0, {}, {}});
  frame->RoutingDown();
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_ROUTE), std::vector<uint32_t>{0});
  EXPECT_EQ(probe->Routing().GetText(), "Normal");
}

TEST_F(MeterFrameTest, RateArrowsStepFromTheShownRate) {
  Route(2);
  Slaved(1);
  Open();
  ASSERT_EQ(probe->Rate().GetText(), "48000 (S/PDIF)");
  frame->RateUp();
  frame->RateDown();  // the choice now shows 88200
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_SAMPLE_RATE), (std::vector<uint32_t>{88200, 48000}));

  // At the ends the rate is kept, and still sent.
  probe->Rate().SetText("96000");
  frame->RateUp();
  probe->Rate().SetText("22050");
  frame->RateDown();
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_SAMPLE_RATE), (std::vector<uint32_t>{88200, 48000, 96000, 22050}));

  // Without a clock the text has no number: both arrows ask for 22050.
  CardRate(0);
  ASSERT_EQ(probe->Rate().GetText(), "(no spdif clock)");
  frame->RateUp();
  probe->Rate().SetText("(no spdif clock)");
  frame->RateDown();
  const auto sent = Sent(IOCTL_LLVA_SET_SAMPLE_RATE);
  EXPECT_EQ(std::vector<uint32_t>(sent.end() - 2, sent.end()), (std::vector<uint32_t>{22050, 22050}));
}

TEST_F(MeterFrameTest, RefusedRateKeepsShowingTheCardsRate) {
  Route(2);
  Open();
  card.reply(IOCTL_LLVA_SET_SAMPLE_RATE, {false, 0, {}, {}});
  EXPECT_NO_THROW(frame->RateUp());
  EXPECT_EQ(probe->Rate().GetText(), "48000");
  // A rate change whose slave status cannot be read still shows the new rate.
  card.reply(IOCTL_LLVA_GET_SLAVE_STATUS, {false, 0, {}, {}});
  CardRate(32000);
  EXPECT_EQ(probe->Rate().GetText(), "32000");
}

TEST_F(MeterFrameTest, RateControlsWorkInConverterModeOnly) {
  Open();  // Normal
  EXPECT_FALSE(probe->Rate().IsEnabled());
  EXPECT_FALSE(probe->RateUpButton().IsEnabled());
  EXPECT_FALSE(probe->RateDownButton().IsEnabled());
  Click(125, 83);  // rate up arrow
  Click(125, 95);  // rate down arrow
  Click(30, 90);   // the choice (would pop up its menu if enabled)
  EXPECT_TRUE(Sent(IOCTL_LLVA_SET_SAMPLE_RATE).empty());

  Route(2);
  frame->ShowRouting();
  EXPECT_TRUE(probe->Rate().IsEnabled());
  Click(125, 83);
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_SAMPLE_RATE), std::vector<uint32_t>{88200});
}

TEST_F(MeterFrameTest, SlaveSwitchedOffWithoutClockRestoresTheLastRate) {
  Slaved(1);
  Open();
  ASSERT_EQ(probe->Slave().GetState(), PushButton::kDown);
  CardRate(0);
  Slaved(0);
  Click(20, 115);  // the switch flips to up and the command runs
  EXPECT_EQ(card.count(IOCTL_LLVA_DISABLE_SLAVE), 1u);
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_SAMPLE_RATE), std::vector<uint32_t>{48000});
  EXPECT_EQ(probe->Slave().GetState(), PushButton::kUp);

  // Engaging sends no rate; the switch follows the card.
  Click(20, 115);
  EXPECT_EQ(card.count(IOCTL_LLVA_ENGAGE_SLAVE), 1u);
  EXPECT_EQ(probe->Slave().GetState(), PushButton::kUp);
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_SAMPLE_RATE).size(), 1u);
}

TEST_F(MeterFrameTest, SlaveSwitchWithoutAnyRateSeenAsksFor44100) {
  AcceptCard(0);
  Open();
  EXPECT_EQ(probe->Rate().GetText(), "(no spdif clock)");
  probe->Slave().SetState(PushButton::kDown);
  Click(20, 115);
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_SAMPLE_RATE), std::vector<uint32_t>{44100});
}

TEST_F(MeterFrameTest, ClipCountArrowsStopAt1And99AndShowAnyValue) {
  Open();
  frame->ClipCountUp();
  EXPECT_EQ(probe->ClipCountChoice().GetText(), "4");
  EXPECT_EQ(probe->ClipCountChoice().GetIndex(), -1);
  EXPECT_EQ(probe->ClipCount(), 4);
  for (int i = 0; i < 120; ++i) frame->ClipCountUp();
  EXPECT_EQ(probe->ClipCountChoice().GetText(), "99");
  EXPECT_EQ(probe->ClipCount(), 99);
  for (int i = 0; i < 120; ++i) frame->ClipCountDown();
  EXPECT_EQ(probe->ClipCountChoice().GetText(), "1");
  EXPECT_EQ(probe->ClipCountChoice().GetIndex(), 0);
  EXPECT_EQ(probe->ClipCount(), 1);
}

TEST_F(MeterFrameTest, ClipBitsArrowsWalkTheTableAndReachTheBallistics) {
  Open();
  frame->ClipBitsUp();
  EXPECT_EQ(probe->ClipMonitorBits(), 32);
  frame->ClipBitsUp();
  EXPECT_EQ(probe->ClipBits().GetText(), "32");
  for (int i = 0; i < 6; ++i) frame->ClipBitsDown();
  EXPECT_EQ(probe->ClipBits().GetText(), "16");
  EXPECT_EQ(probe->LeftBallistics().ClipBits(), 16);
  EXPECT_EQ(probe->RightBallistics().ClipBits(), 16);
  // A new ballistics mode keeps the bits.
  frame->BallisticsUp();
  EXPECT_EQ(probe->BallisticsMode(), 0);
  EXPECT_EQ(probe->LeftBallistics().ClipBits(), 16);
  frame->BallisticsUp();
  EXPECT_EQ(probe->BallisticsMode(), 0);
  frame->BallisticsDown();
  EXPECT_EQ(probe->Ballistics().GetText(), "Peak / Hold");
}

}  // namespace
