#include "wav_file.h"

#include <stdio.h>
#include <string.h>

namespace {

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

}  // namespace

bool readWav(const std::string& path, WavData* wav, std::string* error) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  fclose(file);

  if (bytes.size() < 12 || memcmp(bytes.data(), "RIFF", 4) != 0 ||
      memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    *error = path + " is not a WAV file";
    return false;
  }
  unsigned format = 0, bits = 0;
  const uint8_t* data = nullptr;
  size_t dataSize = 0;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    uint32_t size = le32(&bytes[at + 4]);
    size_t body = at + 8;
    size_t available = bytes.size() - body;
    if (memcmp(&bytes[at], "fmt ", 4) == 0 && size >= 16 && available >= 16) {
      format = le16(&bytes[body]);
      wav->channels = le16(&bytes[body + 2]);
      wav->rate = le32(&bytes[body + 4]);
      bits = le16(&bytes[body + 14]);
      if (format == 0xFFFE && size >= 40 && available >= 26) format = le16(&bytes[body + 24]);
    } else if (memcmp(&bytes[at], "data", 4) == 0) {
      data = &bytes[body];
      dataSize = size < available ? size : available;
      break;
    }
    if (size > available) break;
    at = body + size + (size & 1);
  }
  if (format != 1 || (bits != 16 && bits != 24 && bits != 32) || wav->channels == 0 || !data) {
    *error = path + ": only integer PCM of 16, 24 or 32 bits is supported";
    return false;
  }
  unsigned width = bits / 8;
  size_t count = dataSize / width;
  count -= count % wav->channels;
  if (count == 0) {
    *error = path + " holds no samples";
    return false;
  }
  wav->samples.resize(count);
  for (size_t i = 0; i < count; i++) {
    const uint8_t* p = data + i * width;
    uint32_t v = 0;
    for (unsigned b = 0; b < width; b++) v |= uint32_t(p[b]) << (8 * (4 - width + b));
    wav->samples[i] = static_cast<int32_t>(v);
  }
  return true;
}

bool writeWav(const std::string& path, const WavData& wav, std::string* error) {
  std::vector<uint8_t> out;
  uint32_t dataBytes = static_cast<uint32_t>(wav.samples.size() * 4);
  out.insert(out.end(), {'R', 'I', 'F', 'F'});
  put32(out, 36 + dataBytes);
  out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  put32(out, 16);
  put16(out, 1);
  put16(out, static_cast<uint16_t>(wav.channels));
  put32(out, wav.rate);
  put32(out, wav.rate * wav.channels * 4);
  put16(out, static_cast<uint16_t>(wav.channels * 4));
  put16(out, 32);
  out.insert(out.end(), {'d', 'a', 't', 'a'});
  put32(out, dataBytes);
  for (int32_t s : wav.samples) put32(out, static_cast<uint32_t>(s));

  FILE* file = fopen(path.c_str(), "wb");
  if (!file) {
    *error = "cannot create " + path;
    return false;
  }
  bool ok = fwrite(out.data(), 1, out.size(), file) == out.size();
  ok = fclose(file) == 0 && ok;
  if (!ok) *error = "cannot write " + path;
  return ok;
}
