// What the host plays: a sine tone on every output, or a WAV file spread over the outputs.
// Samples are 24-bit values in the top of 32 bits, as the card carries them.
#pragma once

#include "wav_file.h"

#include <stdint.h>

#include <vector>

class OutputSource {
public:
  // Silence.
  OutputSource() : silent_(true) {}
  // A tone at `levelDb` below full scale.
  OutputSource(double frequency, double levelDb, uint32_t rate);
  // A WAV file, played once and followed by silence; output j plays file channel j modulo
  // the file's channel count.
  explicit OutputSource(const WavData* sound);

  // Writes `count` samples of output `channel` from frame `first`, counted from the start.
  void fill(uint32_t channel, uint64_t first, uint32_t count, int32_t* out) const;
  // True when every output plays the same samples.
  bool sameOnEveryOutput() const { return !sound_ || sound_->channels == 1; }

private:
  int32_t toneSample(uint64_t frame) const;

  const WavData* sound_ = nullptr;
  bool silent_ = false;
  // One whole cycle of the tone when it repeats within a table's reach, so the callback
  // looks samples up instead of computing them.
  std::vector<int32_t> cycle_;
  double step_ = 0;  // radians per frame
  double amplitude_ = 0;
};
