#include "output_source.h"

#include <math.h>
#include <string.h>

#include <algorithm>

namespace {
constexpr double kFullScale24 = 8388607.0;
}

OutputSource::OutputSource(double frequency, double levelDb, uint32_t rate)
    : step_(2.0 * M_PI * frequency / (rate ? rate : 1)),
      amplitude_(kFullScale24 * pow(10.0, -fabs(levelDb) / 20.0)) {
  if (rate == 0 || frequency != floor(frequency)) return;
  uint64_t hz = static_cast<uint64_t>(frequency);
  uint64_t a = rate, b = hz;
  while (b) {
    uint64_t r = a % b;
    a = b;
    b = r;
  }
  uint64_t length = rate / a;  // frames until the tone repeats exactly
  if (length > (1u << 20)) return;
  cycle_.resize(length);
  for (uint64_t i = 0; i < length; ++i) cycle_[i] = toneSample(i);
}

OutputSource::OutputSource(const WavData* sound) : sound_(sound) {}

void OutputSource::fill(uint32_t channel, uint64_t first, uint32_t count, int32_t* out) const {
  if (sound_) {
    uint64_t frames = sound_->samples.size() / sound_->channels;
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t frame = first + i;
      // The card carries 24 bits; the low byte of a 32-bit file would not come back.
      out[i] = frame < frames ? static_cast<int32_t>(
                                    static_cast<uint32_t>(sound_->samples[frame * sound_->channels +
                                                                          channel % sound_->channels]) &
                                    0xFFFFFF00u)
                              : 0;
    }
  } else if (silent_) {
    memset(out, 0, count * sizeof *out);
  } else if (!cycle_.empty()) {
    // Whole stretches of the cycle at a time: the callback's cost is mostly this copy.
    uint64_t at = first % cycle_.size();
    while (count > 0) {
      uint32_t run = static_cast<uint32_t>(std::min<uint64_t>(count, cycle_.size() - at));
      memcpy(out, &cycle_[at], run * sizeof *out);
      out += run;
      count -= run;
      at = 0;
    }
  } else {
    for (uint32_t i = 0; i < count; ++i) out[i] = toneSample(first + i);
  }
}

int32_t OutputSource::toneSample(uint64_t frame) const {
  // The phase is reduced per period so that long runs keep full precision.
  double value = amplitude_ * sin(fmod(step_ * static_cast<double>(frame), 2.0 * M_PI));
  return static_cast<int32_t>(static_cast<uint32_t>(lrint(value)) << 8);
}
