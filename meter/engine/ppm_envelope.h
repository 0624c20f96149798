// The envelope and level arithmetic that both PPM modes share.
//
// The per-sample updates are written as weighted sums (old × keep + new × weight) rather than
// old + (new − old) × weight, and two samples are taken in one step: the same values up to
// rounding, but a much shorter chain of dependent operations per sample. Each result is kept
// inside the range of the values it averages, which holds exactly for the plain formulas;
// a steady input therefore leaves envelope and level exactly unchanged, as it does there, so
// a steady level never counts as a new peak.
#pragma once

#include <math.h>
#include <stdint.h>

struct PpmCoefficients {
  explicit PpmCoefficients(int32_t rate)
      : level(1.0 - exp(-1.0 / (rate * 0.0017))),
        release(1.0 - exp(-1.0 / (rate * 0.65))),
        levelKeep(1.0 - level),
        releaseKeep(1.0 - release),
        levelKeep2(levelKeep * levelKeep),
        releaseKeep2(releaseKeep * releaseKeep),
        levelTimesKeep(level * levelKeep),
        releaseTimesKeep(release * releaseKeep) {}

  double level;    // time constant 1.7 ms
  double release;  // time constant 0.65 s
  double levelKeep;
  double releaseKeep;
  // For two samples at a time.
  double levelKeep2;
  double releaseKeep2;
  double levelTimesKeep;
  double releaseTimesKeep;
};

inline double Max(double a, double b) { return a > b ? a : b; }
inline double Min(double a, double b) { return a < b ? a : b; }

// Instant attack, exponential release.
inline double PpmEnvelopeStep(double envelope, double magnitude, const PpmCoefficients& k) {
  const double released = envelope * k.releaseKeep + magnitude * k.release;
  return Max(magnitude, Min(envelope, released));
}

inline double PpmLevelStep(double level, double envelope, const PpmCoefficients& k) {
  const double next = level * k.levelKeep + envelope * k.level;
  return Max(Min(level, envelope), Min(Max(level, envelope), next));
}

struct PpmPair {
  double envelope1;
  double envelope2;
  double level1;
  double level2;
};

// Two samples in one step. The envelope after the pair is the largest of three candidates:
// release over both samples, the first sample released once, and the second sample; a
// maximum passes unchanged through the release's positive scaling, so this equals two
// single steps.
inline PpmPair PpmStepPair(double envelope, double level, double x0, double x1,
                           const PpmCoefficients& k) {
  PpmPair out;
  out.envelope1 = PpmEnvelopeStep(envelope, x0, k);
  const double fromFirst = Max(x1, Min(x0, x0 * k.releaseKeep + x1 * k.release));
  const double releasedTwice =
      envelope * k.releaseKeep2 + (x0 * k.releaseTimesKeep + x1 * k.release);
  out.envelope2 = Max(fromFirst, Min(envelope, releasedTwice));

  out.level1 = PpmLevelStep(level, out.envelope1, k);
  const double low = Min(level, Min(out.envelope1, out.envelope2));
  const double high = Max(level, Max(out.envelope1, out.envelope2));
  const double next =
      level * k.levelKeep2 + (out.envelope1 * k.levelTimesKeep + out.envelope2 * k.level);
  out.level2 = Max(low, Min(high, next));
  return out;
}

inline double SampleMagnitude(int32_t sample) { return fabs(static_cast<double>(sample)); }

// Long silence decays every state towards zero; left alone it would reach subnormal numbers,
// which the processor handles many times slower. Anything this small reads as the dB floor
// anyway, so it is set to zero between stretches of samples.
const int32_t kPpmFlushInterval = 4096;

inline void FlushTiny(double& value) {
  if (value < 1e-20) value = 0.0;
}
