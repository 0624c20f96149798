// WAV files of integer PCM: read whole as left-justified 32-bit samples, written as 32-bit PCM.
// Shared by the hosts and the simulated card, so that what one writes the other reads alike.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

struct WavData {
  uint32_t channels = 0;
  uint32_t rate = 0;
  std::vector<int32_t> samples;  // interleaved, full scale at the top of 32 bits
};

// False with *error set for a file that is missing, unreadable, too large, not WAV, not
// 8/16/24/32-bit integer PCM, or without a single whole frame. A data chunk cut short (a
// recording that was never finished) yields the frames that are there.
bool readWav(const std::string& path, WavData* data, std::string* error);

// The whole of `data` as one 32-bit PCM file.
bool writeWav(const std::string& path, const WavData& data, std::string* error);

// A 32-bit PCM WAV being recorded; the header is kept valid as it grows, so a recording cut
// off by a crash still reads back.
class WavWriter {
public:
  WavWriter() = default;
  ~WavWriter();
  WavWriter(const WavWriter&) = delete;
  WavWriter& operator=(const WavWriter&) = delete;

  bool open(const std::string& path, uint32_t rate, std::string* error, uint32_t channels = 1);
  // Interleaved frames of `channels` samples each. A WAV file cannot describe more than 4 GiB:
  // the recording stops there. False once any write has failed.
  bool write(const int32_t* samples, size_t frames);
  // Completes the header; false when any write failed.
  bool close();
  uint64_t frames() const { return frames_; }

private:
  void updateHeader();
  FILE* file_ = nullptr;
  uint32_t channels_ = 1;
  uint32_t rate_ = 0;
  uint64_t frames_ = 0;
  uint64_t sinceHeader_ = 0;
  bool failed_ = false;
};
