#include "wav_io.h"

#include <errno.h>
#include <string.h>

namespace {

uint32_t le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr uint16_t kPcm = 1;
constexpr uint16_t kExtensible = 0xFFFE;
constexpr size_t kHeaderBytes = 44;

}  // namespace

bool readWavFile(const std::string& path, WavSound* sound, std::string* error) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) {
    *error = path + ": cannot open: " + strerror(errno);
    return false;
  }
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  fclose(file);

  if (bytes.size() < 12 || memcmp(bytes.data(), "RIFF", 4) != 0 ||
      memcmp(bytes.data() + 8, "WAVE", 4) != 0) {
    *error = path + ": not a WAV file";
    return false;
  }
  uint16_t format = 0, channels = 0, bits = 0;
  uint32_t rate = 0;
  const uint8_t* data = nullptr;
  size_t dataBytes = 0;
  for (size_t at = 12; at + 8 <= bytes.size();) {
    uint32_t size = le32(&bytes[at + 4]);
    size_t body = at + 8;
    size_t available = bytes.size() - body;
    if (memcmp(&bytes[at], "fmt ", 4) == 0 && size >= 16 && available >= 16) {
      format = le16(&bytes[body]);
      channels = le16(&bytes[body + 2]);
      rate = le32(&bytes[body + 4]);
      bits = le16(&bytes[body + 14]);
    } else if (memcmp(&bytes[at], "data", 4) == 0) {
      data = &bytes[body];
      dataBytes = size < available ? size : available;  // a header left unfinished
      break;
    }
    if (size > available) break;
    at = body + size + (size & 1);
  }
  if ((format != kPcm && format != kExtensible) || channels == 0 || rate == 0 ||
      (bits != 8 && bits != 16 && bits != 24 && bits != 32) || !data) {
    *error = path + ": only 8, 16, 24 or 32-bit integer PCM WAV files can be played";
    return false;
  }

  size_t width = bits / 8;
  size_t count = dataBytes / width / channels * channels;
  sound->channels = channels;
  sound->rate = rate;
  sound->samples.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = data + i * width;
    uint32_t value = 0;
    if (width == 1) {
      value = static_cast<uint32_t>(p[0] ^ 0x80) << 24;  // 8-bit WAV is unsigned
    } else {
      for (size_t b = 0; b < width; ++b) value |= static_cast<uint32_t>(p[b]) << (8 * (4 - width + b));
    }
    sound->samples[i] = static_cast<int32_t>(value);
  }
  return true;
}

WavRecorder::~WavRecorder() { close(); }

bool WavRecorder::open(const std::string& path, uint32_t channels, uint32_t rate,
                       std::string* error) {
  close();
  file_ = fopen(path.c_str(), "wb");
  if (!file_) {
    *error = path + ": cannot create: " + strerror(errno);
    return false;
  }
  channels_ = channels;
  frames_ = 0;
  failed_ = false;
  uint8_t header[kHeaderBytes] = {};
  memcpy(header, "RIFF", 4);
  memcpy(header + 8, "WAVEfmt ", 8);
  put32(header + 16, 16);
  put16(header + 20, kPcm);
  put16(header + 22, static_cast<uint16_t>(channels));
  put32(header + 24, rate);
  put32(header + 28, rate * channels * 4);
  put16(header + 32, static_cast<uint16_t>(channels * 4));
  put16(header + 34, 32);
  memcpy(header + 36, "data", 4);
  if (fwrite(header, 1, sizeof header, file_) != sizeof header) failed_ = true;
  return true;
}

bool WavRecorder::write(const int32_t* samples, size_t frames) {
  if (!file_ || frames == 0) return file_ != nullptr;
  std::vector<uint8_t> bytes(frames * channels_ * 4);
  for (size_t i = 0; i < frames * channels_; ++i) put32(&bytes[i * 4], static_cast<uint32_t>(samples[i]));
  if (fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) failed_ = true;
  frames_ += frames;
  return !failed_;
}

bool WavRecorder::close() {
  if (!file_) return true;
  uint64_t dataBytes = frames_ * channels_ * 4;
  // A file past the format's 4 GB reach keeps the largest sizes it can state.
  uint32_t data32 = dataBytes > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes);
  uint8_t size[4];
  put32(size, data32 + 36);
  if (fseek(file_, 4, SEEK_SET) != 0 || fwrite(size, 1, 4, file_) != 4) failed_ = true;
  put32(size, data32);
  if (fseek(file_, 40, SEEK_SET) != 0 || fwrite(size, 1, 4, file_) != 4) failed_ = true;
  if (fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}
