// What the meter window leaves in its store when it closes, and that the next run restores it.
#include "frame_fixture.h"

namespace {

TEST_F(MeterFrameTest, RunWithoutTheCardLeavesTheStoreUntouched) {
  card.available = false;
  const std::string before = "pos_x=50\npos_y=60\nrouting=4x4\nfrequency=48000\nclip_count=7\n";
  WriteStore(before);
  Open();
  ASSERT_EQ(messages, std::vector<std::string>{"Vexa-o-meter: drivers are disabled, missing, or in use!"});
  // The settings that need no card still apply.
  EXPECT_EQ(MeterFrameProbe(frame).ClipCount(), 7);
  EXPECT_EQ(frame->GetPosition(), wxPoint(50, 60));
  frame->Move(400, 300);
  frame->ClipCountUp();
  Close(frame);
  EXPECT_EQ(StoreText(), before);

  std::filesystem::remove_all(StoreFolder("Tarvenix"));
  Open();
  Close(frame);
  EXPECT_EQ(StoreText(), "<absent>");
}

TEST_F(MeterFrameTest, FullRunRestoresEverySetting) {
  card.rate = 88200;
  Open();
  frame->Move(321, 123);
  Click(frame, 127, 50);   // routing down: 4x4
  Click(frame, 127, 50);   // routing down: Converter
  Click(frame, 70, 120);   // S/PDIF Slave on
  Click(frame, 127, 205);  // Overs up: 4
  Click(frame, 127, 247);  // Bits down: 20
  Click(frame, 127, 160);  // Ballistics up: Peak Program
  ASSERT_EQ(card.route, 2);
  ASSERT_EQ(card.slave, 1);
  Close(frame);

  std::map<std::string, std::string> stored = StoreValues();
  EXPECT_EQ(stored["pos_x"], "321");
  EXPECT_EQ(stored["pos_y"], "123");
  EXPECT_EQ(stored["slave_enabled"], "1");
  EXPECT_EQ(stored["routing"], "converter");
  EXPECT_EQ(stored["frequency"], "88200");
  EXPECT_EQ(stored["clip_count"], "4");
  EXPECT_EQ(stored["clip_monitor_bits"], "20");
  EXPECT_EQ(stored["ballistics"], "0");
  EXPECT_EQ(stored.count("help_index"), 0u);

  // The card was reset in between, as after a restart of the machine.
  card.route = 0;
  card.slave = 0;
  card.rate = 44100;
  card.sent.clear();
  Open();
  MeterFrameProbe probe(frame);
  EXPECT_EQ(frame->GetPosition(), wxPoint(321, 123));
  EXPECT_EQ(card.route, 2);
  EXPECT_EQ(probe.RoutingChoice()->GetText(), "Converter");
  EXPECT_EQ(card.slave, 1);
  EXPECT_EQ(probe.SlaveSwitch()->GetState(), PushButton::kDown);
  EXPECT_EQ(card.SentWords(IOCTL_LLVA_SET_SAMPLE_RATE), std::vector<LONG>{88200});
  EXPECT_EQ(probe.ClipCount(), 4);
  EXPECT_EQ(probe.ClipCountChoice()->GetText(), "4");
  EXPECT_EQ(probe.ClipBits(), 20);
  EXPECT_EQ(probe.LeftClipBits(), 20);
  EXPECT_EQ(probe.BallisticsMode(), 0);
}

TEST_F(MeterFrameTest, FailedRequestStopsTheSavingAndKeepsWhatWasWritten) {
  Open();
  frame->Move(77, 88);
  card.refused = {IOCTL_LLVA_GET_ROUTE};
  Close(frame);
  std::map<std::string, std::string> stored = StoreValues();
  EXPECT_EQ(stored["pos_x"], "77");
  EXPECT_EQ(stored["pos_y"], "88");
  EXPECT_EQ(stored["slave_enabled"], "0");
  EXPECT_EQ(stored.count("routing"), 0u);
  EXPECT_EQ(stored.count("frequency"), 0u);
  EXPECT_EQ(stored.count("clip_count"), 0u);
}

TEST_F(MeterFrameTest, RouteOutsideTheListIsNotStored) {
  WriteStore("routing=4x4\n");
  Open();
  card.route = 7;
  Close(frame);
  std::map<std::string, std::string> stored = StoreValues();
  // The earlier value stays; everything after the routing is still written.
  EXPECT_EQ(stored["routing"], "4x4");
  EXPECT_EQ(stored["frequency"], "44100");
  EXPECT_EQ(stored["ballistics"], "1");
}

}  // namespace
