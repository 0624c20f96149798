// WAV files for the host: integer PCM read as left-justified 32-bit samples, and multi-channel
// 32-bit PCM written as it is recorded.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

struct WavSound {
  uint32_t channels = 0;
  uint32_t rate = 0;
  std::vector<int32_t> samples;  // interleaved
};

// False with *error set for a missing file or one that is not 8/16/24/32-bit PCM WAV.
bool readWavFile(const std::string& path, WavSound* sound, std::string* error);

class WavRecorder {
public:
  WavRecorder() = default;
  ~WavRecorder();
  WavRecorder(const WavRecorder&) = delete;
  WavRecorder& operator=(const WavRecorder&) = delete;

  bool open(const std::string& path, uint32_t channels, uint32_t rate, std::string* error);
  // Interleaved frames of `channels` samples each.
  bool write(const int32_t* samples, size_t frames);
  // Completes the header; false when any write failed.
  bool close();

private:
  FILE* file_ = nullptr;
  uint32_t channels_ = 0;
  uint64_t frames_ = 0;
  bool failed_ = false;
};
