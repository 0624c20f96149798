// WAV files of integer PCM: read whole as left-justified 32-bit samples, written as 32-bit.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace txvv {

struct WavData {
  uint32_t channels = 0;
  uint32_t rate = 0;
  std::vector<int32_t> samples;  // interleaved, full scale at the top of 32 bits
};

// False with *error set for a file that is missing, not WAV, or not 8/16/24/32-bit PCM.
bool readWav(const std::string& path, WavData* data, std::string* error);

// A mono 32-bit WAV being recorded; the header is kept valid as it grows.
class WavWriter {
public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool open(const std::string& path, uint32_t rate, std::string* error);
  void write(const int32_t* samples, uint32_t count);
  void close();
  uint64_t frames() const { return frames_; }

private:
  void updateHeader();
  FILE* file_ = nullptr;
  uint64_t frames_ = 0;
  uint64_t sinceHeader_ = 0;
  uint32_t rate_ = 0;
};

}  // namespace txvv
