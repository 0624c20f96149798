// PCM WAV files: read 16-, 24- or 32-bit integer samples as 32-bit, write 32-bit.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct WavData {
  unsigned channels = 0;
  unsigned rate = 0;
  std::vector<int32_t> samples;  // interleaved, left-justified to 32 bits
};

// False with a reason in *error when the file cannot be read or is not integer PCM.
bool readWav(const std::string& path, WavData* wav, std::string* error);
bool writeWav(const std::string& path, const WavData& wav, std::string* error);
