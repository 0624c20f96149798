// Levels, peaks and their dB values, checked against the plain per-sample formulas and
// against what a meter must show for known signals.
#include "ppm_ballistics.h"
#include "ppm_peak_hold_ballistics.h"

#include <gtest/gtest.h>

#include <math.h>

#include <limits>
#include <random>
#include <vector>

namespace {

const double kFullScale = 2147483392.0;

// The meter's arithmetic written out literally, one sample at a time.
struct PlainMeter {
  double envelope = kFullScale;
  double level = kFullScale;
  double peak = 0.0;
  int32_t hold = 3000;

  void Sample(int32_t s, double a, double b, int32_t holdSamples) {
    const double x = fabs(static_cast<double>(s));
    if (x > envelope)
      envelope = x;
    else
      envelope = envelope + (x - envelope) * b;
    level = level + (envelope - level) * a;
    if (level > peak) {
      hold = holdSamples;
      peak = level;
    } else {
      hold -= 1;
      if (hold <= 0) peak = peak - peak * 0.00025;
    }
  }

  void Process(const std::vector<int32_t>& samples, int32_t rate) {
    const double a = 1.0 - exp(-1.0 / (rate * 0.0017));
    const double b = 1.0 - exp(-1.0 / (rate * 0.65));
    for (int32_t s : samples) Sample(s, a, b, rate * 3000 / 1000);
  }
};

std::vector<int32_t> Sine(double amplitude, double frequency, int32_t rate, int32_t samples,
                          int32_t start = 0) {
  std::vector<int32_t> out(samples);
  for (int32_t i = 0; i < samples; ++i)
    out[i] = static_cast<int32_t>(amplitude * sin(2 * M_PI * frequency * (start + i) / rate));
  return out;
}

template <class T>
void FeedInBlocks(T& ballistics, const std::vector<int32_t>& samples, int32_t rate,
                  int32_t block) {
  for (size_t at = 0; at < samples.size(); at += block) {
    const size_t n = std::min<size_t>(block, samples.size() - at);
    ballistics.Process(samples.data() + at, static_cast<int32_t>(n), rate);
  }
}

TEST(BallisticsLevelTest, CoefficientsAt44100) {
  EXPECT_NEAR(MeterBallistics::LevelCoefficient(44100), 0.0132501, 1e-7);
  EXPECT_NEAR(MeterBallistics::ReleaseCoefficient(44100), 0.0000348851, 1e-10);
}

TEST(BallisticsLevelTest, DbConversionFloorAndNaN) {
  EXPECT_EQ(MeterBallistics::ToDb(kFullScale), 0.0);
  EXPECT_NEAR(MeterBallistics::ToDb(kFullScale / 10), -20.0, 1e-9);
  EXPECT_EQ(MeterBallistics::ToDb(0.0), -188.0);
  EXPECT_EQ(MeterBallistics::ToDb(-1.0), -188.0);
  EXPECT_EQ(MeterBallistics::ToDb(std::numeric_limits<double>::quiet_NaN()), -188.0);
  EXPECT_EQ(MeterBallistics::ToDb(1e-3), -188.0);
  EXPECT_GT(MeterBallistics::ToDb(2147483647.0), 0.0);
}

TEST(BallisticsLevelTest, FreshObjectsAndNames) {
  PpmBallistics ppm;
  PpmPeakHoldBallistics hold;
  EXPECT_STREQ(ppm.Name(), "PPM");
  EXPECT_STREQ(hold.Name(), "PPM w/Peak Hold");
  EXPECT_EQ(ppm.LevelDb(), 0.0);
  EXPECT_EQ(hold.LevelDb(), 0.0);
  EXPECT_EQ(ppm.PeakDb(), -188.0);
  EXPECT_EQ(hold.PeakDb(), -188.0);
  EXPECT_EQ(hold.ClipBits(), 16);
  // The program's and meterprobe's factory: mode 1 holds peaks, any other mode does not.
  EXPECT_STREQ(MakeBallistics(1)->Name(), "PPM w/Peak Hold");
  for (int32_t mode : {0, 2, -1}) EXPECT_STREQ(MakeBallistics(mode)->Name(), "PPM");

  const std::vector<int32_t> quiet = Sine(kFullScale / 100, 1000, 44100, 100);
  hold.Process(quiet.data(), 100, 44100);
  ppm.Process(quiet.data(), 100, 44100);
  EXPECT_LT(hold.LevelDb(), 0.0);
  EXPECT_EQ(ppm.PeakDb(), -188.0);
  // The level only falls from full scale, so the first sample's level is the held peak.
  EXPECT_GT(hold.PeakDb(), hold.LevelDb());
  EXPECT_GT(hold.PeakDb(), -0.1);
}

// Block sizes from single samples to long odd counts; rates that the card offers.
TEST(BallisticsLevelTest, AgreesWithThePlainFormulasWhateverTheBlocks) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int32_t rate : {9600, 44100, 48000, 96000}) {
    std::vector<int32_t> signal(rate * 4);
    for (size_t i = 0; i < signal.size(); ++i) {
      // Loud and quiet stretches, silence, and a few full-scale bursts.
      const double t = static_cast<double>(i) / rate;
      double gain = 0.5 + 0.5 * sin(2 * M_PI * 0.7 * t);
      if (t > 1.5 && t < 2.2) gain = 0.0;
      if (i % (rate / 2) < 40) gain = 1.0;
      signal[i] = static_cast<int32_t>(gain * unit(random) * 2147483000.0);
    }
    for (int32_t block : {1, 3, 1024, 5000, 10007}) {
      PlainMeter plain;
      PpmBallistics ppm;
      PpmPeakHoldBallistics hold;
      plain.Process(signal, rate);
      FeedInBlocks(ppm, signal, rate, block);
      FeedInBlocks(hold, signal, rate, block);
      SCOPED_TRACE(testing::Message() << "rate " << rate << " block " << block);
      EXPECT_EQ(ppm.LevelDb(), MeterBallistics::ToDb(plain.level));
      EXPECT_EQ(hold.LevelDb(), MeterBallistics::ToDb(plain.level));
      EXPECT_EQ(hold.PeakDb(), MeterBallistics::ToDb(plain.peak));
      EXPECT_EQ(hold.HoldCounter(), std::max(plain.hold, 0));
    }
  }
}

// A steady magnitude (DC, or a square wave) that steps up or down after a second, followed
// long enough for the peak to hold and fall. The formulas run sample by sample; the meters
// take the same samples in blocks from one sample to the card's 40 ms and are compared with
// them after every block.
TEST(BallisticsLevelTest, StepResponsesFollowTheFormulas) {
  const int32_t kLow = 0x06000000;   // about -25 dB
  const int32_t kHigh = 0x60000000;  // about -2.5 dB
  struct Step {
    const char* name;
    bool square;
    int32_t before;
    int32_t after;
  };
  const Step steps[] = {{"DC up", false, kLow, kHigh},
                        {"DC down", false, kHigh, kLow},
                        {"square up", true, kLow, kHigh},
                        {"square down", true, kHigh, kLow}};
  for (int32_t rate : {9600, 44100, 48000, 96000}) {
    const double a = 1.0 - exp(-1.0 / (rate * 0.0017));
    const double b = 1.0 - exp(-1.0 / (rate * 0.65));
    const int32_t blocks[] = {1, 2, 3, 7, 256, 1000, rate / 25};
    for (const Step& step : steps) {
      // Half a period of a 1 kHz square wave.
      const int32_t half = rate / 2000;
      std::vector<int32_t> signal(rate * 11 / 2);
      for (int32_t i = 0; i < static_cast<int32_t>(signal.size()); ++i) {
        const int32_t magnitude = i < rate ? step.before : step.after;
        signal[i] = step.square && (i / half) % 2 != 0 ? -magnitude : magnitude;
      }
      PlainMeter plain;
      PpmBallistics ppm;
      PpmPeakHoldBallistics hold;
      size_t at = 0;
      for (size_t next = 0; at < signal.size(); next = (next + 1) % std::size(blocks)) {
        const int32_t n = static_cast<int32_t>(std::min<size_t>(blocks[next], signal.size() - at));
        for (int32_t i = 0; i < n; ++i) plain.Sample(signal[at + i], a, b, rate * 3000 / 1000);
        ppm.Process(signal.data() + at, n, rate);
        hold.Process(signal.data() + at, n, rate);
        at += n;
        const double level = MeterBallistics::ToDb(plain.level);
        const double peak = MeterBallistics::ToDb(plain.peak);
        if (ppm.LevelDb() != level || hold.LevelDb() != level || hold.PeakDb() != peak ||
            hold.HoldCounter() != std::max(plain.hold, 0)) {
          ADD_FAILURE() << step.name << " at " << rate << " Hz differs after sample " << at
                        << ": level " << ppm.LevelDb() << " / " << hold.LevelDb() << " dB, peak "
                        << hold.PeakDb() << " dB, hold " << hold.HoldCounter()
                        << "; the formulas give " << level << " dB, " << peak << " dB, "
                        << plain.hold;
          break;
        }
      }
    }
  }
}

TEST(BallisticsLevelTest, SinesSettleAtTheirLevel) {
  for (int32_t rate : {44100, 48000}) {
    PpmBallistics ppm;
    PpmPeakHoldBallistics hold;
    const std::vector<int32_t> loud = Sine(kFullScale, 997, rate, rate * 3);
    FeedInBlocks(ppm, loud, rate, 1024);
    FeedInBlocks(hold, loud, rate, 1024);
    EXPECT_NEAR(ppm.LevelDb(), 0.0, 0.1);
    EXPECT_NEAR(hold.LevelDb(), 0.0, 0.1);
    EXPECT_NEAR(hold.PeakDb(), 0.0, 0.1);

    const std::vector<int32_t> quiet = Sine(kFullScale / 10, 997, rate, rate * 5, rate * 3);
    FeedInBlocks(ppm, quiet, rate, 1024);
    FeedInBlocks(hold, quiet, rate, 1024);
    EXPECT_NEAR(ppm.LevelDb(), -20.0, 0.1);
    EXPECT_NEAR(hold.LevelDb(), -20.0, 0.1);
    // The loud peak has long since fallen to the quieter level.
    EXPECT_NEAR(hold.PeakDb(), -20.0, 0.1);
  }
}

TEST(BallisticsLevelTest, SilenceReachesTheFloorAndStaysThere) {
  PpmBallistics ppm;
  PpmPeakHoldBallistics hold;
  const std::vector<int32_t> silence(1024, 0);
  double previous = 0.0;
  for (int i = 0; i < 48000 * 60 / 1024; ++i) {
    ppm.Process(silence.data(), 1024, 48000);
    hold.Process(silence.data(), 1024, 48000);
    EXPECT_LE(ppm.LevelDb(), previous);
    previous = ppm.LevelDb();
  }
  EXPECT_EQ(ppm.LevelDb(), -188.0);
  EXPECT_EQ(hold.LevelDb(), -188.0);
  EXPECT_EQ(hold.PeakDb(), -188.0);
  // The hold counter stopped at 0 instead of running on towards overflow.
  EXPECT_EQ(hold.HoldCounter(), 0);
}

TEST(BallisticsLevelTest, SignalAboveFullScaleReadsSlightlyAboveZero) {
  PpmPeakHoldBallistics hold;
  const std::vector<int32_t> top(4410, 0x7FFFFFFF);
  hold.Process(top.data(), 4410, 44100);
  EXPECT_GT(hold.LevelDb(), 0.0);
  EXPECT_LT(hold.LevelDb(), 0.001);
}

TEST(BallisticsLevelTest, SteadyLevelEqualToThePeakDoesNotRestartTheHold) {
  PpmPeakHoldBallistics hold;
  // Full scale exactly: envelope and level stay at their starting value.
  const std::vector<int32_t> steady(1000, 0x7FFFFF00);
  hold.Process(steady.data(), 1000, 44100);
  EXPECT_EQ(hold.HoldCounter(), 132300 - 999);
  EXPECT_EQ(hold.LevelDb(), 0.0);
  EXPECT_EQ(hold.PeakDb(), 0.0);
  hold.Process(steady.data(), 1000, 44100);
  EXPECT_EQ(hold.HoldCounter(), 132300 - 1999);
}

TEST(BallisticsLevelTest, PeakHoldsThreeSecondsThenFallsAtItsRate) {
  struct Case {
    int32_t rate;
    double dbPerSecond;
  };
  for (Case c : {Case{44100, 95.79}, Case{48000, 104.26}}) {
    SCOPED_TRACE(c.rate);
    PpmPeakHoldBallistics hold;
    const std::vector<int32_t> silence(c.rate, 0);
    hold.Process(silence.data(), c.rate, c.rate);
    const std::vector<int32_t> burst(c.rate / 10, 0x7FFFFF00);
    hold.Process(burst.data(), static_cast<int32_t>(burst.size()), c.rate);

    // Find the sample where the last new peak was taken: from there the hold runs.
    std::vector<int32_t> one(1, 0);
    while (hold.HoldCounter() != c.rate * 3) hold.Process(one.data(), 1, c.rate);
    int32_t samples = 0;
    while (hold.HoldCounter() == c.rate * 3 - samples && hold.HoldCounter() > 0) {
      hold.Process(one.data(), 1, c.rate);
      ++samples;
    }
    const double held = hold.PeakDb();
    EXPECT_EQ(samples, c.rate * 3);
    EXPECT_EQ(hold.HoldCounter(), 0);

    // Within the first tenths of a second the peak is still far above the falling level.
    const int32_t tenth = c.rate / 10;
    hold.Process(silence.data(), tenth, c.rate);
    const double afterTenth = hold.PeakDb();
    hold.Process(silence.data(), tenth, c.rate);
    EXPECT_NEAR((held - afterTenth) * 10, c.dbPerSecond, 0.5);
    EXPECT_NEAR((afterTenth - hold.PeakDb()) * 10, c.dbPerSecond, 0.05);
    EXPECT_GT(hold.PeakDb(), hold.LevelDb());
  }
}

}  // namespace
