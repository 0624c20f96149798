#include "ppm_peak_hold_ballistics.h"

#include <math.h>

PpmPeakHoldBallistics::PpmPeakHoldBallistics() : MeterBallistics(16) {}

const char* PpmPeakHoldBallistics::Name() const { return "PPM w/Peak Hold"; }

double PpmPeakHoldBallistics::LevelDb() const { return ToDb(level_); }

double PpmPeakHoldBallistics::PeakDb() const { return ToDb(peak_); }

void PpmPeakHoldBallistics::Process(const int32_t* samples, int32_t count, int32_t rate) {
  if (samples == nullptr || count <= 0 || rate <= 0) return;
  TrackClips(samples, count);

  const double a = LevelCoefficient(rate);
  const double b = ReleaseCoefficient(rate);
  // Three seconds of samples; absurd rates are kept from overflowing the counter.
  const int64_t hold64 = static_cast<int64_t>(rate) * kHoldMilliseconds / 1000;
  const int32_t holdSamples = hold64 < INT32_MAX ? static_cast<int32_t>(hold64) : INT32_MAX;
  double envelope = envelope_;
  double level = level_;
  double peak = peak_;
  int32_t hold = holdCounter_;
  for (int32_t i = 0; i < count; ++i) {
    const double x = fabs(static_cast<double>(samples[i]));
    if (x > envelope)
      envelope = x;
    else
      envelope = envelope + (x - envelope) * b;
    level = level + (envelope - level) * a;
    if (level > peak) {
      hold = holdSamples;
      peak = level;
    } else {
      // The counter stops at 0 instead of running on towards overflow; the fall goes on alike.
      if (hold > 0) --hold;
      if (hold <= 0) peak = peak - peak * kPeakFallPerSample;
    }
  }
  envelope_ = FlushTiny(envelope);
  level_ = FlushTiny(level);
  peak_ = FlushTiny(peak);
  holdCounter_ = hold;
}
