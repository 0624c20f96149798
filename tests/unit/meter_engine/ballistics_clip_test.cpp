// Clip detection and clip-run statistics, the same for both modes.
#include "ppm_ballistics.h"
#include "ppm_peak_hold_ballistics.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

namespace {

const int32_t kRate = 44100;
const int32_t C = 0x7FFF0000;  // clipped at 16 bits
const int32_t N = 0;           // not clipped

template <class T>
class ClipTest : public ::testing::Test {
protected:
  void Feed(std::vector<int32_t> samples) {
    ballistics.Process(samples.data(), static_cast<int32_t>(samples.size()), kRate);
  }

  // A lone sample among quiet ones is counted as a run when, and only when, it clips; it is
  // tried at several places of short and long blocks.
  bool Clips(int32_t sample) {
    int32_t runs = 0;
    const int32_t before = ballistics.ClipRunCount();
    for (size_t size : {3u, 16u, 37u}) {
      for (size_t at : {size_t{1}, size / 2, size - 2}) {
        std::vector<int32_t> block(size, N);
        block[at] = sample;
        Feed(block);
        runs = ballistics.ClipRunCount() - before;
      }
    }
    EXPECT_TRUE(runs == 0 || runs == 9) << "clipped in " << runs << " of 9 places";
    return runs == 9;
  }

  T ballistics;
};

using Modes = ::testing::Types<PpmBallistics, PpmPeakHoldBallistics>;
TYPED_TEST_SUITE(ClipTest, Modes);

TYPED_TEST(ClipTest, ThresholdsFollowTheClipBitsOnBothSides) {
  // 16 bits apply until SetClipBits.
  EXPECT_TRUE(this->Clips(0x7FFF0000));
  EXPECT_FALSE(this->Clips(0x7FFEFFFF));
  EXPECT_TRUE(this->Clips(-0x7FFF0000));
  EXPECT_FALSE(this->Clips(-0x7FFEFFFF));

  this->ballistics.SetClipBits(24);
  EXPECT_TRUE(this->Clips(0x7FFFFF00));
  EXPECT_FALSE(this->Clips(0x7FFFFEFF));
  EXPECT_TRUE(this->Clips(-0x7FFFFF00));
  EXPECT_FALSE(this->Clips(-0x7FFFFEFF));
  EXPECT_FALSE(this->Clips(0x7FFF0000));

  this->ballistics.SetClipBits(32);
  EXPECT_TRUE(this->Clips(0x7FFFFFFF));
  EXPECT_FALSE(this->Clips(0x7FFFFFFE));
  EXPECT_TRUE(this->Clips(-0x7FFFFFFF));
  EXPECT_TRUE(this->Clips(INT32_MIN));
  EXPECT_FALSE(this->Clips(-0x7FFFFFFE));

  this->ballistics.SetClipBits(20);
  EXPECT_EQ(this->ballistics.ClipHigh(), 0x7FFFF000);
  EXPECT_EQ(this->ballistics.ClipLow(), -0x7FFFF000);

  // Out of the offered range: no bits means every sample clips; more than 32 means 32.
  this->ballistics.SetClipBits(0);
  EXPECT_EQ(this->ballistics.ClipHigh(), 0);
  EXPECT_EQ(this->ballistics.ClipLow(), 0);
  this->ballistics.SetClipBits(40);
  EXPECT_EQ(this->ballistics.ClipHigh(), 0x7FFFFFFF);
}

TYPED_TEST(ClipTest, RunIsCountedWhenItEndsEvenAcrossCalls) {
  this->Feed({C, C, N});
  EXPECT_EQ(this->ballistics.ClipRunCount(), 1);
  EXPECT_EQ(this->ballistics.LongestClipRun(), 2);

  // Still going at the end of a call: not counted yet.
  this->Feed({N, C, C});
  EXPECT_EQ(this->ballistics.ClipRunCount(), 1);
  this->Feed({C, N});
  EXPECT_EQ(this->ballistics.ClipRunCount(), 2);
  EXPECT_EQ(this->ballistics.LongestClipRun(), 3);

  // A shorter run does not lower the longest; negative clips join positive ones in a run.
  this->Feed({C, N, C, -0x7FFF0000, C, C, N});
  EXPECT_EQ(this->ballistics.ClipRunCount(), 4);
  EXPECT_EQ(this->ballistics.LongestClipRun(), 4);
}

TYPED_TEST(ClipTest, ResetDuringARunCountsTheWholeRunWhenItEnds) {
  this->Feed({C, C, C, C, C, N});
  this->Feed({C, C});
  this->ballistics.ResetClips();
  EXPECT_EQ(this->ballistics.ClipRunCount(), 0);
  EXPECT_EQ(this->ballistics.LongestClipRun(), 0);
  this->Feed({C, N});
  EXPECT_EQ(this->ballistics.ClipRunCount(), 1);
  EXPECT_EQ(this->ballistics.LongestClipRun(), 3);
}

TYPED_TEST(ClipTest, EmptyOrInvalidBlocksChangeNothing) {
  this->Feed({C, C});
  const double level = this->ballistics.LevelDb();
  const int32_t samples[] = {N, N};
  this->ballistics.Process(samples, 0, kRate);
  this->ballistics.Process(samples, -5, kRate);
  this->ballistics.Process(nullptr, 2, kRate);
  this->ballistics.Process(samples, 2, 0);
  EXPECT_EQ(this->ballistics.ClipRunCount(), 0);
  EXPECT_EQ(this->ballistics.LevelDb(), level);
  this->Feed({N});
  EXPECT_EQ(this->ballistics.LongestClipRun(), 2);
}

TEST(ClipTest, LongRunsSpanningManyBlocksAreCountedInFull) {
  PpmBallistics ballistics;
  std::vector<int32_t> block(1000, C);
  for (int i = 0; i < 50; ++i) ballistics.Process(block.data(), 1000, kRate);
  const int32_t end = N;
  ballistics.Process(&end, 1, kRate);
  EXPECT_EQ(ballistics.LongestClipRun(), 50000);
}

// Clip statistics written out literally, one sample at a time.
struct PlainClips {
  int32_t high, low, runs = 0, longest = 0, inClip = 0, length = 0;
  void Feed(const int32_t* samples, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      const int32_t s = samples[i];
      if (s >= high || s <= low) {
        length = inClip ? length + 1 : 1;
        inClip = 1;
      } else if (inClip) {
        inClip = 0;
        ++runs;
        if (length > longest) longest = length;
      }
    }
  }
};

TEST(ClipTest, AgreesWithThePlainRuleOnRandomBlocks) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int32_t> sample(INT32_MIN, INT32_MAX);
  std::uniform_int_distribution<int32_t> size(0, 300);
  std::bernoulli_distribution burst(0.02);
  for (int32_t bits : {2, 4, 16, 32}) {
    PpmPeakHoldBallistics ballistics;
    ballistics.SetClipBits(bits);
    PlainClips plain{ballistics.ClipHigh(), ballistics.ClipLow()};
    for (int block = 0; block < 2000; ++block) {
      std::vector<int32_t> samples(size(random));
      for (auto& s : samples) s = burst(random) ? INT32_MAX : sample(random);
      ballistics.Process(samples.data(), static_cast<int32_t>(samples.size()), kRate);
      plain.Feed(samples.data(), static_cast<int32_t>(samples.size()));
    }
    EXPECT_EQ(ballistics.ClipRunCount(), plain.runs) << bits;
    EXPECT_EQ(ballistics.LongestClipRun(), plain.longest) << bits;
    EXPECT_GT(plain.runs, 10);
  }
}

}  // namespace
