// What a stored setting does to a newly built meter window, including values that are absent,
// out of range, malformed, or refused by the card.
#include "frame_fixture.h"

#include "meter_errors.h"

namespace {

TEST_F(MeterFrameTest, PositionIsUsedOnlyWhenBothCoordinatesAreStored) {
  const struct {
    const char* store;
    wxPoint expected;
  } cases[] = {
      {"pos_x=300\n", wxPoint(10, 10)},
      {"pos_y=300\n", wxPoint(10, 10)},
      {"pos_x=abc\npos_y=40\n", wxPoint(10, 10)},
      {"pos_x=300\npos_y=40\n", wxPoint(300, 40)},
      // Off the left edge of the screen is a real position on a multi-screen desktop.
      {"pos_x=-1\npos_y=-1\n", wxPoint(-1, -1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.store);
    WriteStore(c.store);
    Open();
    const wxSize size = frame->GetSize();
    EXPECT_EQ(frame->GetPosition(), c.expected);
    EXPECT_EQ(frame->GetClientSize(), wxSize(230, 262));
    EXPECT_EQ(frame->GetSize(), size);
    Close(frame);
  }
}

TEST_F(MeterFrameTest, StoredClipCountIsBroughtIntoRange) {
  const struct {
    const char* stored;
    int32_t count;
    int32_t presetIndex;
  } cases[] = {
      {"4", 4, -1},  {"7", 7, 4},    {"0", 3, 2},  {"", 3, 2}, {"x", 3, 2},
      {"250", 99, -1}, {"-5", 3, 2}, {"12abc", 12, -1}, {"99999999999999999999", 99, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("clip_count=") + c.stored);
    WriteStore(std::string("clip_count=") + c.stored + "\n");
    Open();
    MeterFrameProbe probe(frame);
    EXPECT_EQ(probe.ClipCount(), c.count);
    EXPECT_EQ(probe.ClipCountChoice()->GetText(), wxString::Format("%d", c.count));
    EXPECT_EQ(probe.ClipCountChoice()->GetIndex(), c.presetIndex);
    Close(frame);
  }
}

TEST_F(MeterFrameTest, ClipBitsAndBallisticsTakeOnlyTheirOwnChoices) {
  WriteStore("clip_monitor_bits=22\nballistics=2\n");
  Open();
  {
    MeterFrameProbe probe(frame);
    EXPECT_EQ(probe.ClipBits(), 24);
    EXPECT_EQ(probe.LeftClipBits(), 24);
    EXPECT_EQ(probe.ClipBitsChoice()->GetText(), "24");
    EXPECT_EQ(probe.BallisticsMode(), 1);
    EXPECT_EQ(probe.BallisticsChoice()->GetText(), "Peak / Hold");
  }
  Close(frame);

  WriteStore("clip_monitor_bits=16\nballistics=0\n");
  Open();
  MeterFrameProbe probe(frame);
  EXPECT_EQ(probe.ClipBits(), 16);
  // The meters judge clipping at the resolution they show, from the first block on.
  EXPECT_EQ(probe.LeftClipBits(), 16);
  EXPECT_EQ(probe.ClipBitsChoice()->GetText(), "16");
  EXPECT_EQ(probe.BallisticsMode(), 0);
  EXPECT_EQ(probe.BallisticsChoice()->GetText(), "Peak Program");
}

TEST_F(MeterFrameTest, RoutingNamesAreMatchedExactly) {
  const struct {
    const char* stored;
    LONG mode;
  } cases[] = {{"converter", 2}, {"Converter", 0}, {"4x4_mon", 4}, {"normal_mon", 3},
               {"sideways", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    card.route = 1;
    card.sent.clear();
    WriteStore(std::string("routing=") + c.stored + "\n");
    Open();
    EXPECT_EQ(card.SentWords(IOCTL_LLVA_SET_ROUTE), std::vector<LONG>{c.mode});
    EXPECT_EQ(MeterFrameProbe(frame).RoutingChoice()->GetIndex(), c.mode);
    Close(frame);
  }
}

TEST_F(MeterFrameTest, StoredSlavingFollowsTheStatusWord) {
  WriteStore("slave_enabled=7\n");
  Open();
  EXPECT_EQ(card.SentWords(IOCTL_LLVA_ENGAGE_SLAVE).size(), 1u);
  EXPECT_TRUE(card.SentWords(IOCTL_LLVA_DISABLE_SLAVE).empty());
  EXPECT_EQ(MeterFrameProbe(frame).SlaveSwitch()->GetState(), PushButton::kDown);
  Close(frame);

  card.sent.clear();
  WriteStore("slave_enabled=0\n");
  Open();
  EXPECT_EQ(card.SentWords(IOCTL_LLVA_DISABLE_SLAVE).size(), 1u);
  EXPECT_TRUE(card.SentWords(IOCTL_LLVA_ENGAGE_SLAVE).empty());
  EXPECT_EQ(MeterFrameProbe(frame).SlaveSwitch()->GetState(), PushButton::kUp);
  Close(frame);

  // Absent: the card keeps its own state.
  card.sent.clear();
  card.slave = 1;
  WriteStore("clip_count=3\n");
  Open();
  EXPECT_TRUE(card.SentWords(IOCTL_LLVA_ENGAGE_SLAVE).empty());
  EXPECT_TRUE(card.SentWords(IOCTL_LLVA_DISABLE_SLAVE).empty());
  EXPECT_EQ(card.slave, 1);
}

TEST_F(MeterFrameTest, RefusedSettingIsSkippedSilentlyAndTheNextGroupRuns) {
  card.refused = {IOCTL_LLVA_ENGAGE_SLAVE, IOCTL_LLVA_SET_ROUTE, IOCTL_LLVA_SET_SAMPLE_RATE};
  // A run that ended without an S/PDIF clock stored rate 0; it goes out as stored.
  WriteStore("slave_enabled=1\nrouting=4x4\nfrequency=0\nclip_count=5\n");
  ASSERT_NO_THROW(Open());
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(card.SentWords(IOCTL_LLVA_ENGAGE_SLAVE).size(), 1u);
  EXPECT_EQ(card.SentWords(IOCTL_LLVA_SET_ROUTE), std::vector<LONG>{1});
  EXPECT_EQ(card.SentWords(IOCTL_LLVA_SET_SAMPLE_RATE), std::vector<LONG>{0});
  EXPECT_EQ(MeterFrameProbe(frame).ClipCount(), 5);
  Close(frame);

  // Slaved without an S/PDIF clock, the card refuses to report its slaving: the rate needs
  // no status then, and the stored slaving is skipped like any refused setting.
  card.refused = {IOCTL_LLVA_GET_SLAVE_STATUS};
  card.rate = 0;
  WriteStore("slave_enabled=1\n");
  ASSERT_NO_THROW(Open());
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(MeterFrameProbe(frame).SlaveSwitch()->GetState(), PushButton::kUp);
}

TEST_F(MeterFrameTest, MalformedStoreIsIgnoredAndKept) {
  const std::string junk = "this line is no setting\n\x01\x02\xff\n";
  WriteStore("pos_x=ten\npos_y=\nclip_monitor_bits=lots\nballistics=\nslave_enabled=yes\n"
             "frequency=44100Hz\n" + junk);
  ASSERT_NO_THROW(Open());
  EXPECT_TRUE(messages.empty());
  MeterFrameProbe probe(frame);
  EXPECT_EQ(frame->GetPosition(), wxPoint(10, 10));
  EXPECT_EQ(probe.ClipBits(), 24);
  EXPECT_EQ(probe.BallisticsMode(), 1);
  EXPECT_TRUE(card.SentWords(IOCTL_LLVA_ENGAGE_SLAVE).empty());
  EXPECT_TRUE(card.SentWords(IOCTL_LLVA_DISABLE_SLAVE).empty());
  EXPECT_TRUE(card.SentWords(IOCTL_LLVA_SET_SAMPLE_RATE).empty());
  Close(frame);
  // Saving rewrites the values but loses nothing it could not read.
  EXPECT_NE(StoreText().find("this line is no setting"), std::string::npos);
  EXPECT_EQ(StoreValues()["clip_monitor_bits"], "24");
}

}  // namespace
