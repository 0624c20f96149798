// One input's signal: silence, a sine, noise, a looped WAV file or an output played back,
// optionally with a run of full-scale samples at a fixed interval.
#pragma once

#include "card_options.h"
#include "wav_file.h"

#include <memory>
#include <string>

namespace txvv {

class SignalSource {
public:
  // False with *error set when a WAV file cannot be read.
  bool configure(const SignalSetup& setup, std::string* error);

  // Renders n samples at the given rate. played: the samples each output plays meanwhile
  // (null when the stream does not run: outputs are silent then).
  void render(int32_t* out, uint32_t n, uint32_t rate, const int32_t* const* played,
              uint32_t outputs);

  const SignalSetup& setup() const { return setup_; }

private:
  SignalSetup setup_;
  double phase_ = 0.0;  // sine, in cycles
  uint32_t noise_ = 0x9E3779B9u;
  WavData wav_;
  size_t wavFrame_ = 0;
  uint64_t clipPosition_ = 0;
};

}  // namespace txvv
