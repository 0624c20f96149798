#include "ppm_ballistics.h"

#include <math.h>

PpmBallistics::PpmBallistics() : MeterBallistics(16) {}

const char* PpmBallistics::Name() const { return "PPM"; }

double PpmBallistics::LevelDb() const { return ToDb(level_); }

double PpmBallistics::PeakDb() const { return kFloorDb; }

void PpmBallistics::Process(const int32_t* samples, int32_t count, int32_t rate) {
  if (samples == nullptr || count <= 0 || rate <= 0) return;
  TrackClips(samples, count);

  const double a = LevelCoefficient(rate);
  const double b = ReleaseCoefficient(rate);
  double envelope = envelope_;
  double level = level_;
  for (int32_t i = 0; i < count; ++i) {
    const double x = fabs(static_cast<double>(samples[i]));
    if (x > envelope)
      envelope = x;
    else
      envelope = envelope + (x - envelope) * b;
    level = level + (envelope - level) * a;
  }
  envelope_ = FlushTiny(envelope);
  level_ = FlushTiny(level);
}
