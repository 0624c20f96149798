#include "wav_file.h"

#include <string.h>

namespace txvv {

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

constexpr long kMaxWavBytes = 256L << 20;

}  // namespace

bool readWav(const std::string& path, WavData* data, std::string* error) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  std::vector<uint8_t> bytes;
  fseek(file, 0, SEEK_END);
  long size = ftell(file);
  fseek(file, 0, SEEK_SET);
  if (size > 0 && size <= kMaxWavBytes) {
    bytes.resize(size_t(size));
    if (fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
  }
  fclose(file);
  if (bytes.size() < 12 || memcmp(bytes.data(), "RIFF", 4) != 0 ||
      memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    *error = path + ": not a WAV file";
    return false;
  }
  uint16_t format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  const uint8_t* samples = nullptr;
  size_t sampleBytes = 0;
  size_t at = 12;
  while (at + 8 <= bytes.size()) {
    uint32_t chunk = le32(&bytes[at + 4]);
    const uint8_t* body = &bytes[at + 8];
    size_t available = bytes.size() - at - 8;
    if (memcmp(&bytes[at], "fmt ", 4) == 0 && chunk >= 16 && chunk <= available) {
      format = le16(body);
      channels = le16(body + 2);
      rate = le32(body + 4);
      bits = le16(body + 14);
      if (format == 0xFFFE && chunk >= 26) format = le16(body + 24);  // extensible: sub-format
    } else if (memcmp(&bytes[at], "data", 4) == 0) {
      samples = body;
      sampleBytes = chunk < available ? chunk : available;
      break;
    }
    if (chunk > available) break;
    at += 8 + chunk + (chunk & 1);
  }
  if (format != 1 || channels == 0 || rate == 0 || !samples ||
      (bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
    *error = path + ": not integer PCM WAV (8, 16, 24 or 32 bits)";
    return false;
  }
  size_t width = bits / 8;
  size_t count = sampleBytes / width / channels * channels;
  if (count == 0) {
    *error = path + ": no samples";
    return false;
  }
  data->channels = channels;
  data->rate = rate;
  data->samples.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* s = samples + i * width;
    uint32_t v = 0;
    switch (bits) {
      case 8: v = uint32_t(s[0] ^ 0x80) << 24; break;  // 8-bit WAV is unsigned
      case 16: v = uint32_t(le16(s)) << 16; break;
      case 24: v = (uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16) << 8; break;
      default: v = le32(s); break;
    }
    data->samples[i] = int32_t(v);
  }
  return true;
}

WavWriter::~WavWriter() { close(); }

bool WavWriter::open(const std::string& path, uint32_t rate, std::string* error) {
  close();
  file_ = fopen(path.c_str(), "wb");
  if (!file_) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  rate_ = rate;
  frames_ = 0;
  updateHeader();
  return true;
}

void WavWriter::write(const int32_t* samples, uint32_t count) {
  if (!file_ || count == 0) return;
  // A WAV file cannot describe more than 4 GiB; the recording stops there.
  if ((frames_ + count) * 4 + 44 > 0xFFFFFFF0ull) return;
  uint8_t buffer[4096];
  uint32_t done = 0;
  while (done < count) {
    uint32_t n = count - done < 1024 ? count - done : 1024;
    for (uint32_t i = 0; i < n; ++i) put32(buffer + 4 * i, uint32_t(samples[done + i]));
    fwrite(buffer, 4, n, file_);
    done += n;
  }
  frames_ += count;
  sinceHeader_ += count;
  if (sinceHeader_ >= rate_ / 2) updateHeader();
}

void WavWriter::updateHeader() {
  sinceHeader_ = 0;
  uint8_t h[44];
  uint32_t dataBytes = uint32_t(frames_ * 4);
  memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + dataBytes);
  memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, 1);
  put16(h + 22, 1);
  put32(h + 24, rate_);
  put32(h + 28, rate_ * 4);
  put16(h + 32, 4);
  put16(h + 34, 32);
  memcpy(h + 36, "data", 4);
  put32(h + 40, dataBytes);
  long end = ftell(file_);
  fseek(file_, 0, SEEK_SET);
  fwrite(h, 1, sizeof h, file_);
  if (end > long(sizeof h)) fseek(file_, end, SEEK_SET);
  fflush(file_);
}

void WavWriter::close() {
  if (!file_) return;
  updateHeader();
  fclose(file_);
  file_ = nullptr;
}

}  // namespace txvv
