// Meter data: clip lamps and read-outs, what resets them, and the level read-out.
#include "meter_gui_fixture.h"

#include <math.h>

namespace {

const int32_t kClip = 0x7FFFFFFF;

class MeterDataTest : public MeterFrameTest {
protected:
  // Feeds one block; the right channel gets `right` or silence.
  void Feed(const std::vector<int32_t>& left, std::vector<int32_t> right = {}) {
    right.resize(left.size(), 0);
    frame->OnMeterData(left.data(), right.data(), static_cast<int32_t>(left.size()));
  }
  void LightBothLamps() {
    Feed({kClip, kClip, kClip, 0, 0}, {kClip, kClip, kClip, kClip, 0});
    ASSERT_EQ(probe->LeftLamp().GetIndex(), 1);
    ASSERT_EQ(probe->RightLamp().GetIndex(), 1);
  }
};

TEST_F(MeterDataTest, RunsBelowTheClipCountShowButLightOnlyAtIt) {
  Open();
  Feed({kClip, kClip, 0, 0});
  EXPECT_EQ(probe->ClipReadout().GetText(), "2/0");
  EXPECT_EQ(probe->LeftLamp().GetIndex(), 0);
  // A run still going at the end of a block counts when it ends.
  Feed({0, kClip, kClip});
  EXPECT_EQ(probe->ClipReadout().GetText(), "2/0");
  Feed({kClip, 0});
  EXPECT_EQ(probe->ClipReadout().GetText(), "3/0");
  EXPECT_EQ(probe->LeftLamp().GetIndex(), 1);
  EXPECT_EQ(probe->RightLamp().GetIndex(), 0);
  EXPECT_EQ(probe->LeftMeter().dirty, 1);

  // Sustained full scale is a little above 0 dB, which the meter shows as 0 dB.
  Feed(std::vector<int32_t>(4800, kClip));
  EXPECT_GT(probe->LeftBallistics().LevelDb(), 0.0);
  EXPECT_EQ(probe->LeftMeter().level, 0.0);
  EXPECT_EQ(probe->LeftMeter().peak, 0.0);
}

TEST_F(MeterDataTest, ClipSettingsResetLampsAndReadoutBallisticsDoNot) {
  Open();
  LightBothLamps();
  EXPECT_EQ(probe->ClipReadout().GetText(), "3/4");
  frame->BallisticsUp();
  EXPECT_EQ(probe->LeftLamp().GetIndex(), 1);
  EXPECT_EQ(probe->ClipReadout().GetText(), "3/4");

  frame->ClipBitsDown();
  EXPECT_EQ(probe->LeftLamp().GetIndex(), 0);
  EXPECT_EQ(probe->RightLamp().GetIndex(), 0);
  EXPECT_EQ(probe->ClipReadout().GetText(), "0/0");

  LightBothLamps();
  frame->ClipCountDown();
  EXPECT_EQ(probe->LeftLamp().GetIndex(), 0);
  EXPECT_EQ(probe->ClipReadout().GetText(), "0/0");
  // A shorter run now lights the lamp with the lower count.
  Feed({kClip, kClip, 0});
  EXPECT_EQ(probe->LeftLamp().GetIndex(), 1);
}

TEST_F(MeterDataTest, NothingMovesWithoutAClockOrADevice) {
  Open();
  CardRate(0);
  Feed({kClip, kClip, kClip, 0});
  EXPECT_EQ(probe->ClipReadout().GetText(), "0/0");
  EXPECT_EQ(probe->LeftMeter().level, -30.0);
  EXPECT_EQ(probe->LeftMeter().peak, -500.0);
  frame.reset();

  card.setAvailable(false);
  Open();
  Feed({kClip, kClip, kClip, 0});
  EXPECT_EQ(probe->LeftMeter().level, -30.0);
}

TEST_F(MeterDataTest, LevelReadoutChangesOnEveryTwentyFirstCall) {
  Open();
  MeterFrame::meterDataCalls = 0;
  // Steady levels of -12.3 and -20.4 dBFS, one second per block at 48000 Hz.
  std::vector<int32_t> left(48000, static_cast<int32_t>(2147483392.0 * pow(10.0, -12.3 / 20)));
  std::vector<int32_t> right(48000, static_cast<int32_t>(2147483392.0 * pow(10.0, -20.4 / 20)));
  for (int call = 1; call <= 20; ++call) Feed(left, right);
  EXPECT_EQ(probe->LevelReadout().GetText(), "");
  probe->LevelReadout().dirty = 0;
  Feed(left, right);
  EXPECT_EQ(probe->LevelReadout().GetText(), " 12/20 ");
  EXPECT_EQ(probe->LevelReadout().dirty, 1);
  for (int call = 22; call <= 41; ++call) Feed(std::vector<int32_t>(16, 0));
  EXPECT_EQ(probe->LevelReadout().GetText(), " 12/20 ");
}

}  // namespace
