#include "signal_source.h"

#include <math.h>
#include <string.h>

namespace txvv {

namespace {

int32_t leftJustified(double value24) {
  double clamped = value24 > kFullScale24 ? kFullScale24 : value24 < -double(kFullScale24) ? -double(kFullScale24) : value24;
  return int32_t(uint32_t(int32_t(lrint(clamped))) << 8);
}

}  // namespace

bool SignalSource::configure(const SignalSetup& setup, std::string* error) {
  setup_ = setup;
  phase_ = 0.0;
  wavFrame_ = 0;
  clipPosition_ = 0;
  if (setup.kind == SignalSetup::Wav) {
    if (!readWav(setup.path, &wav_, error)) return false;
    if (setup.wavChannel >= wav_.channels) {
      *error = setup.path + ": has no channel " + std::to_string(setup.wavChannel);
      return false;
    }
  }
  return true;
}

void SignalSource::render(int32_t* out, uint32_t n, uint32_t rate, const int32_t* const* played,
                          uint32_t outputs) {
  double amplitude = kFullScale24 * pow(10.0, setup_.levelDb / 20.0);
  switch (setup_.kind) {
    case SignalSetup::Silence:
      memset(out, 0, n * sizeof *out);
      break;
    case SignalSetup::Sine: {
      double step = rate ? setup_.frequency / rate : 0.0;
      for (uint32_t i = 0; i < n; ++i) {
        out[i] = leftJustified(amplitude * sin(2.0 * M_PI * phase_));
        phase_ += step;
        if (phase_ >= 1.0) phase_ -= floor(phase_);
      }
      break;
    }
    case SignalSetup::Noise:
      for (uint32_t i = 0; i < n; ++i) {
        noise_ ^= noise_ << 13;
        noise_ ^= noise_ >> 17;
        noise_ ^= noise_ << 5;
        out[i] = leftJustified(amplitude * (int32_t(noise_) / 2147483648.0));
      }
      break;
    case SignalSetup::Wav: {
      size_t frames = wav_.samples.size() / wav_.channels;
      for (uint32_t i = 0; i < n; ++i) {
        out[i] = wav_.samples[wavFrame_ * wav_.channels + setup_.wavChannel];
        if (++wavFrame_ >= frames) wavFrame_ = 0;
      }
      break;
    }
    case SignalSetup::Loop:
      if (played && setup_.loopOutput < outputs)
        memcpy(out, played[setup_.loopOutput], n * sizeof *out);
      else
        memset(out, 0, n * sizeof *out);
      break;
  }
  if (setup_.clipEvery != 0 && setup_.clipLength != 0) {
    for (uint32_t i = 0; i < n; ++i) {
      if (clipPosition_ % setup_.clipEvery < setup_.clipLength) out[i] = 0x7FFFFFFF;
      ++clipPosition_;
    }
  }
}

}  // namespace txvv
