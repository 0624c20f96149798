#include "wav_file.h"

#include <errno.h>
#include <string.h>

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

constexpr uint16_t kPcm = 1;
constexpr uint16_t kExtensible = 0xFFFE;
constexpr size_t kHeaderBytes = 44;
// Files are read whole into memory; a 32-bit process must not be asked for more.
constexpr long kMaxWavBytes = 256L << 20;
constexpr uint64_t kMaxDataBytes = 0xFFFFFFF0ull - kHeaderBytes;

bool readWhole(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  long size = -1;
  if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
  int seekError = errno;
  bool ok = size >= 0 && fseek(file, 0, SEEK_SET) == 0;
  if (!ok) {
    *error = path + ": cannot read: " + strerror(seekError);
  } else if (size > kMaxWavBytes) {
    *error = path + ": too large (at most " + std::to_string(kMaxWavBytes >> 20) + " MiB)";
    ok = false;
  } else {
    bytes->resize(size_t(size));
    if (fread(bytes->data(), 1, bytes->size(), file) != bytes->size()) {
      *error = path + ": cannot read: " + (ferror(file) ? strerror(errno) : "file shrank");
      ok = false;
    }
  }
  fclose(file);
  return ok;
}

}  // namespace

bool readWav(const std::string& path, WavData* data, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!readWhole(path, &bytes, error)) return false;
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
      if (format == kExtensible && chunk >= 26) format = le16(body + 24);  // the sub-format
    } else if (memcmp(&bytes[at], "data", 4) == 0) {
      samples = body;
      sampleBytes = chunk < available ? chunk : available;
      break;
    }
    if (chunk > available) break;
    at += 8 + chunk + (chunk & 1);
  }
  if (format != kPcm || channels == 0 || rate == 0 || !samples ||
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

bool writeWav(const std::string& path, const WavData& data, std::string* error) {
  WavWriter writer;
  if (!writer.open(path, data.rate, error, data.channels)) return false;
  bool ok = writer.write(data.samples.data(), data.channels ? data.samples.size() / data.channels : 0);
  ok = writer.close() && ok;
  if (!ok) *error = path + ": cannot write: " + strerror(errno);
  return ok;
}

WavWriter::~WavWriter() { close(); }

bool WavWriter::open(const std::string& path, uint32_t rate, std::string* error, uint32_t channels) {
  close();
  if (channels == 0 || channels > 0xFFFF) {
    *error = path + ": cannot record " + std::to_string(channels) + " channels";
    return false;
  }
  file_ = fopen(path.c_str(), "wb");
  if (!file_) {
    *error = path + ": " + strerror(errno);
    return false;
  }
  channels_ = channels;
  rate_ = rate;
  frames_ = 0;
  failed_ = false;
  updateHeader();
  return true;
}

bool WavWriter::write(const int32_t* samples, size_t frames) {
  if (!file_) return false;
  if (frames == 0 || (frames_ + frames) * channels_ * 4 > kMaxDataBytes) return !failed_;
  uint8_t buffer[4096];
  size_t total = frames * channels_;
  for (size_t done = 0; done < total;) {
    size_t n = total - done < sizeof buffer / 4 ? total - done : sizeof buffer / 4;
    for (size_t i = 0; i < n; ++i) put32(buffer + 4 * i, uint32_t(samples[done + i]));
    if (fwrite(buffer, 4, n, file_) != n) failed_ = true;
    done += n;
  }
  frames_ += frames;
  sinceHeader_ += frames;
  if (sinceHeader_ >= rate_ / 2) updateHeader();
  return !failed_;
}

void WavWriter::updateHeader() {
  sinceHeader_ = 0;
  uint8_t h[kHeaderBytes];
  uint32_t dataBytes = uint32_t(frames_ * channels_ * 4);
  memcpy(h, "RIFF", 4);
  put32(h + 4, 36 + dataBytes);
  memcpy(h + 8, "WAVEfmt ", 8);
  put32(h + 16, 16);
  put16(h + 20, kPcm);
  put16(h + 22, uint16_t(channels_));
  put32(h + 24, rate_);
  put32(h + 28, rate_ * channels_ * 4);
  put16(h + 32, uint16_t(channels_ * 4));
  put16(h + 34, 32);
  memcpy(h + 36, "data", 4);
  put32(h + 40, dataBytes);
  if (fseek(file_, 0, SEEK_SET) != 0 || fwrite(h, 1, sizeof h, file_) != sizeof h ||
      fseek(file_, 0, SEEK_END) != 0 || fflush(file_) != 0)
    failed_ = true;
}

bool WavWriter::close() {
  if (!file_) return !failed_;
  updateHeader();
  if (fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  return !failed_;
}
