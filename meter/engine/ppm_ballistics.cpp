#include "ppm_ballistics.h"

#include "ppm_envelope.h"

PpmBallistics::PpmBallistics() : MeterBallistics(16) {}

const char* PpmBallistics::Name() const { return "PPM"; }

double PpmBallistics::LevelDb() const { return ToDb(level_); }

double PpmBallistics::PeakDb() const { return kFloorDb; }

void PpmBallistics::Process(const int32_t* samples, int32_t count, int32_t rate) {
  if (samples == nullptr || count <= 0 || rate <= 0) return;
  TrackClips(samples, count);

  const PpmCoefficients k(rate);
  double envelope = envelope_;
  double level = level_;
  for (int32_t i = 0; i < count;) {
    const int32_t end = count - i > kPpmFlushInterval ? i + kPpmFlushInterval : count;
    for (; i + 1 < end; i += 2) {
      const PpmPair pair = PpmStepPair(envelope, level, SampleMagnitude(samples[i]),
                                       SampleMagnitude(samples[i + 1]), k);
      envelope = pair.envelope2;
      level = pair.level2;
    }
    if (i < end) {
      envelope = PpmEnvelopeStep(envelope, SampleMagnitude(samples[i]), k);
      level = PpmLevelStep(level, envelope, k);
      ++i;
    }
    FlushTiny(envelope);
    FlushTiny(level);
  }
  envelope_ = envelope;
  level_ = level;
}
