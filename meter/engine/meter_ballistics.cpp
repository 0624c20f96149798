#include "meter_ballistics.h"

#include <emmintrin.h>
#include <math.h>

MeterBallistics::MeterBallistics(int32_t clipBits) { SetClipBits(clipBits); }

MeterBallistics::~MeterBallistics() = default;

void MeterBallistics::ResetClips() {
  clipRunCount_ = 0;
  longestClipRun_ = 0;
}

void MeterBallistics::SetClipBits(int32_t bits) {
  clipBits_ = bits;
  uint32_t high = 0x7FFFFFFFu;
  if (bits <= 0)
    high = 0;
  else if (bits < 32)
    high &= ~((1u << (32 - bits)) - 1u);
  clipHigh_ = static_cast<int32_t>(high);
  clipLow_ = -clipHigh_;
}

void MeterBallistics::TrackClips(const int32_t* samples, int32_t count) {
  const int32_t high = clipHigh_;
  const int32_t low = clipLow_;
  // For skipping eight samples at a time while no run is going on: clipped samples are rare.
  // high - 1 and low + 1 cannot overflow: high lies in 0..0x7FFFFFFF and low is its negation.
  const __m128i atOrAboveHigh = _mm_set1_epi32(high - 1);
  const __m128i atOrBelowLow = _mm_set1_epi32(low + 1);
  int32_t inClip = inClip_;
  int32_t runLength = runLength_;
  int32_t i = 0;
  while (i < count) {
    if (!inClip && count - i >= 8) {
      const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i));
      const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i + 4));
      const __m128i clipped = _mm_or_si128(
          _mm_or_si128(_mm_cmpgt_epi32(first, atOrAboveHigh), _mm_cmplt_epi32(first, atOrBelowLow)),
          _mm_or_si128(_mm_cmpgt_epi32(second, atOrAboveHigh),
                       _mm_cmplt_epi32(second, atOrBelowLow)));
      if (_mm_movemask_epi8(clipped) == 0) {
        i += 8;
        continue;
      }
    }
    const int32_t s = samples[i++];
    if (s >= high || s <= low) {
      if (inClip) {
        // A run longer than the counter can hold stays at its maximum.
        if (runLength < INT32_MAX) ++runLength;
      } else {
        inClip = 1;
        runLength = 1;
      }
    } else if (inClip) {
      inClip = 0;
      if (clipRunCount_ < INT32_MAX) ++clipRunCount_;
      if (runLength > longestClipRun_) longestClipRun_ = runLength;
    }
  }
  inClip_ = inClip;
  runLength_ = runLength;
}

double MeterBallistics::LevelCoefficient(int32_t rate) {
  return 1.0 - exp(-1.0 / (rate * 0.0017));
}

double MeterBallistics::ReleaseCoefficient(int32_t rate) {
  return 1.0 - exp(-1.0 / (rate * 0.65));
}

double MeterBallistics::ToDb(double value) {
  const double ratio = value / kFullScale;
  if (isnan(ratio)) return kFloorDb;
  const double db = 20.0 * log10(ratio);
  if (isnan(db) || db < kFloorDb) return kFloorDb;
  return db;
}
