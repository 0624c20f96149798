#include "ppm_peak_hold_ballistics.h"

#include "ppm_envelope.h"

#include <array>

namespace {

// Samples whose levels are worked out before the peak follows them.
const int32_t kPeakStretch = 256;
static_assert(kPeakStretch <= kPpmFlushInterval);

const double kPeakKeep = 1.0 - PpmPeakHoldBallistics::kPeakFallPerSample;

// kPeakKeep to the powers 0 to kPeakStretch: the fall over that many samples.
const std::array<double, kPeakStretch + 1>& PeakFall() {
  static const std::array<double, kPeakStretch + 1> fall = [] {
    std::array<double, kPeakStretch + 1> powers;
    powers[0] = 1.0;
    for (int32_t m = 1; m <= kPeakStretch; ++m) powers[m] = powers[m - 1] * kPeakKeep;
    return powers;
  }();
  return fall;
}

// The hold counter is kept as the index (within the current stretch of samples) from which the
// peak decays: a new peak at index i holds it through i + hold samples, and the counter itself
// is only worked out at the end of the stretch.
inline void HoldPeak(double level, int32_t index, double& peak, int32_t& decayFrom,
                     int32_t holdSamples) {
  if (level > peak) {
    peak = level;
    decayFrom = index + holdSamples;
  } else if (index >= decayFrom) {
    peak *= kPeakKeep;
  }
}

}  // namespace

PpmPeakHoldBallistics::PpmPeakHoldBallistics() : MeterBallistics(16) {}

const char* PpmPeakHoldBallistics::Name() const { return "PPM w/Peak Hold"; }

double PpmPeakHoldBallistics::LevelDb() const { return ToDb(level_); }

double PpmPeakHoldBallistics::PeakDb() const { return ToDb(peak_); }

void PpmPeakHoldBallistics::Process(const int32_t* samples, int32_t count, int32_t rate) {
  if (samples == nullptr || count <= 0 || rate <= 0) return;
  TrackClips(samples, count);

  const PpmCoefficients k(rate);
  // Three seconds of samples; absurd rates are kept from overflowing the counter.
  const int64_t hold64 = static_cast<int64_t>(rate) * kHoldMilliseconds / 1000;
  const int32_t holdSamples = static_cast<int32_t>(hold64 < (1 << 30) ? hold64 : (1 << 30));
  const std::array<double, kPeakStretch + 1>& fall = PeakFall();
  double envelope = envelope_;
  double level = level_;
  double peak = peak_;
  int32_t hold = holdCounter_;
  // Levels first, then the peak over them, a short stretch at a time. Most stretches bring no
  // new peak, and that shows from their largest level alone.
  double levels[kPeakStretch];
  for (int32_t done = 0; done < count; done += kPeakStretch) {
    const int32_t* stretch = samples + done;
    const int32_t n = count - done > kPeakStretch ? kPeakStretch : count - done;
    double largest = 0.0;
    int32_t i = 0;
    for (; i + 1 < n; i += 2) {
      const PpmPair pair = PpmStepPair(envelope, level, SampleMagnitude(stretch[i]),
                                       SampleMagnitude(stretch[i + 1]), k);
      envelope = pair.envelope2;
      level = pair.level2;
      levels[i] = pair.level1;
      levels[i + 1] = pair.level2;
      largest = Max(largest, Max(pair.level1, pair.level2));
    }
    if (i < n) {
      envelope = PpmEnvelopeStep(envelope, SampleMagnitude(stretch[i]), k);
      level = PpmLevelStep(level, envelope, k);
      levels[i] = level;
      largest = Max(largest, level);
    }

    // Without a new peak the counter goes down by one per sample and the peak decays from
    // the sample where it reaches 0.
    int32_t decayFrom = hold - 1;
    const int32_t decaying = n - (decayFrom > 0 ? (decayFrom < n ? decayFrom : n) : 0);
    if (largest <= peak * fall[decaying]) {
      // No level reaches the peak even where it has fallen lowest.
      peak *= fall[decaying];
    } else {
      for (i = 0; i < n; ++i) HoldPeak(levels[i], i, peak, decayFrom, holdSamples);
    }
    // It stops at 0 rather than running on towards overflow.
    hold = decayFrom - (n - 1) > 0 ? decayFrom - (n - 1) : 0;

    FlushTiny(envelope);
    FlushTiny(level);
    FlushTiny(peak);
  }
  envelope_ = envelope;
  level_ = level;
  peak_ = peak;
  holdCounter_ = hold;
}
