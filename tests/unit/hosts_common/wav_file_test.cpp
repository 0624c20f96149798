// WAV files: what is written reads back the same, every integer width reads left-justified,
// and files that are not integer PCM, or hold nothing, are refused with a reason.
#include "wav_file.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

namespace {

std::string temporaryPath(const char* name) {
  return ::testing::TempDir() + "vexa-wav-" + std::to_string(getpid()) + "-" + name;
}

void putFile(const std::string& path, const std::string& bytes) {
  FILE* file = fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), file);
  fclose(file);
}

std::string le(uint32_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += char(v >> (8 * i));
  return s;
}

// A WAV file with a fmt chunk of `format` and the given data bytes; `dataSize` may claim more
// than is there, as in a recording cut short.
std::string wavBytes(uint16_t format, uint16_t channels, uint16_t bits, const std::string& data,
                     uint32_t dataSize, bool extensible = false) {
  std::string fmt = le(extensible ? 0xFFFE : format, 2) + le(channels, 2) + le(44100, 4) +
                    le(44100 * channels * bits / 8, 4) + le(channels * bits / 8, 2) + le(bits, 2);
  if (extensible) fmt += le(22, 2) + le(bits, 2) + le(0, 4) + le(format, 2) + std::string(14, '\0');
  std::string body = "WAVEfmt " + le(uint32_t(fmt.size()), 4) + fmt + "data" + le(dataSize, 4) + data;
  return "RIFF" + le(uint32_t(body.size()), 4) + body;
}

}  // namespace

TEST(WavFile, RecordedAndWrittenFilesReadBackBitExact) {
  std::string path = temporaryPath("round.wav");
  std::vector<int32_t> samples = {0, 1, -1, 0x7FFFFFFF, int32_t(0x80000000), 0x12345678};
  std::string error;
  {
    WavWriter writer;
    ASSERT_TRUE(writer.open(path, 48000, &error)) << error;
    EXPECT_TRUE(writer.write(samples.data(), 3));
    EXPECT_TRUE(writer.write(samples.data() + 3, 3));
    // Half a second in, the header already describes what is there.
    std::vector<int32_t> more(24000 * 1, 7);
    EXPECT_TRUE(writer.write(more.data(), more.size()));
    WavData sofar;
    ASSERT_TRUE(readWav(path, &sofar, &error)) << error;
    EXPECT_EQ(sofar.samples.size(), 24006u);
  }
  WavData data;
  ASSERT_TRUE(readWav(path, &data, &error)) << error;
  EXPECT_EQ(data.channels, 1u);
  EXPECT_EQ(data.rate, 48000u);
  data.samples.resize(samples.size());
  EXPECT_EQ(data.samples, samples);

  WavData stereo{2, 96000, {1, -2, 3, -4, 0x7FFFFF00, int32_t(0x80000100)}};
  ASSERT_TRUE(writeWav(path, stereo, &error)) << error;
  ASSERT_TRUE(readWav(path, &data, &error)) << error;
  EXPECT_EQ(data.channels, 2u);
  EXPECT_EQ(data.rate, 96000u);
  EXPECT_EQ(data.samples, stereo.samples);

  EXPECT_FALSE(writeWav("/nonexistent-folder/x.wav", stereo, &error));
  EXPECT_NE(error.find("/nonexistent-folder/x.wav"), std::string::npos) << error;
  unlink(path.c_str());
}

TEST(WavFile, IntegerWidthsReadLeftJustifiedAndCutShortDataKeepsWholeFrames) {
  std::string path = temporaryPath("widths.wav");
  std::string error;
  WavData data;
  putFile(path, wavBytes(1, 1, 8, std::string("\x00\x80\xFF", 3), 3));
  ASSERT_TRUE(readWav(path, &data, &error)) << error;
  EXPECT_EQ(data.samples, (std::vector<int32_t>{int32_t(0x80000000), 0, 0x7F000000}));

  putFile(path, wavBytes(1, 1, 16, std::string("\x01\x80\xFF\x7F", 4), 4));
  ASSERT_TRUE(readWav(path, &data, &error)) << error;
  EXPECT_EQ(data.samples, (std::vector<int32_t>{int32_t(0x80010000), 0x7FFF0000}));

  // Extensible PCM; the data chunk claims 12 bytes of stereo 24-bit but holds 7: one whole frame.
  putFile(path, wavBytes(1, 2, 24, std::string("\x01\x02\x03\xFF\xFF\xFF\x09", 7), 12, true));
  ASSERT_TRUE(readWav(path, &data, &error)) << error;
  EXPECT_EQ(data.channels, 2u);
  EXPECT_EQ(data.samples, (std::vector<int32_t>{0x03020100, int32_t(0xFFFFFF00)}));
  unlink(path.c_str());
}

TEST(WavFile, FilesThatAreNotIntegerPcmOrHoldNothingAreRefusedWithAReason) {
  std::string path = temporaryPath("bad.wav");
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"empty file", "", "not a WAV file"},
      {"cut inside the RIFF header", "RIFF\x10\0", "not a WAV file"},
      {"another RIFF type", wavBytes(1, 1, 16, "\0\0", 2).replace(8, 4, "AVI "), "not a WAV file"},
      {"no fmt or data chunk", std::string("RIFF\x10\0\0\0WAVEjunk", 16), "not integer PCM"},
      {"float samples", wavBytes(3, 1, 32, std::string(8, '\0'), 8), "not integer PCM"},
      {"extensible float", wavBytes(3, 2, 32, std::string(8, '\0'), 8, true), "not integer PCM"},
      {"12-bit samples", wavBytes(1, 1, 12, std::string(4, '\0'), 4), "not integer PCM"},
      {"no channels", wavBytes(1, 0, 16, std::string(4, '\0'), 4), "not integer PCM"},
      {"data chunk without a frame", wavBytes(1, 2, 16, "\1\2", 2), "no samples"},
  };
  for (const Case& c : cases) {
    putFile(path, c.bytes);
    WavData data{3, 7, {1, 2, 3}};
    std::string error;
    EXPECT_FALSE(readWav(path, &data, &error)) << c.what;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(error.find(path), 0u) << c.what << ": the reason names the file";
    EXPECT_EQ(data.samples.size(), 3u) << c.what << ": nothing is replaced by a refused file";
  }
  std::string error;
  WavData data;
  EXPECT_FALSE(readWav(path + ".missing", &data, &error));
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  unlink(path.c_str());

  WavWriter writer;
  EXPECT_FALSE(writer.open(path, 48000, &error, 0));
  EXPECT_FALSE(writer.write(nullptr, 0)) << "nothing open";
}
