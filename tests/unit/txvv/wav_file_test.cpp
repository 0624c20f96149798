// WAV files: what is written reads back the same; what is not integer PCM is refused.
#include "card/signal_source.h"
#include "card/wav_file.h"

#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

using namespace txvv;

namespace {

std::string temporaryPath(const char* name) {
  return std::string("/tmp/txvv-wav-") + std::to_string(getpid()) + "-" + name;
}

}  // namespace

TEST(WavFile, CapturedSamplesReadBackBitExactAndBadFilesAreRefused) {
  std::string path = temporaryPath("round.wav");
  std::vector<int32_t> samples = {0, 1, -1, 0x7FFFFFFF, int32_t(0x80000000), 0x12345678};
  {
    WavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.open(path, 48000, &error)) << error;
    writer.write(samples.data(), 3);
    writer.write(samples.data() + 3, 3);
  }
  WavData data;
  std::string error;
  ASSERT_TRUE(readWav(path, &data, &error)) << error;
  EXPECT_EQ(data.channels, 1u);
  EXPECT_EQ(data.rate, 48000u);
  EXPECT_EQ(data.samples, samples);

  FILE* file = fopen(path.c_str(), "wb");
  static const char notPcm[] = "RIFF\x10\0\0\0WAVEjunk";
  fwrite(notPcm, 1, sizeof notPcm - 1, file);
  fclose(file);
  EXPECT_FALSE(readWav(path, &data, &error));
  EXPECT_NE(error.find("not integer PCM"), std::string::npos) << error;
  EXPECT_FALSE(readWav(path + ".missing", &data, &error));
  unlink(path.c_str());
}

TEST(SignalSource, SineLevelClipBurstsAndLoopback) {
  SignalSource sine;
  SignalSetup setup;
  setup.kind = SignalSetup::Sine;
  setup.frequency = 1000;
  setup.levelDb = -20;
  setup.clipLength = 2;
  setup.clipEvery = 48;
  std::string error;
  ASSERT_TRUE(sine.configure(setup, &error));
  std::vector<int32_t> out(96);
  sine.render(out.data(), 96, 48000, nullptr, 0);
  int32_t peak = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    EXPECT_EQ(out[i] & 0xFF, i % 48 < 2 ? 0xFF : 0) << "24-bit samples, left-justified";
    if (i % 48 >= 2) peak = std::max(peak, std::abs(out[i]));
  }
  EXPECT_EQ(out[0], 0x7FFFFFFF);
  EXPECT_EQ(out[49], 0x7FFFFFFF);
  EXPECT_NEAR(peak / 2147483392.0, 0.1, 0.002);

  SignalSource loop;
  setup = SignalSetup{};
  setup.kind = SignalSetup::Loop;
  setup.loopOutput = 1;
  ASSERT_TRUE(loop.configure(setup, &error));
  int32_t played0[4] = {1, 2, 3, 4}, played1[4] = {-5, 6, -7, 8};
  const int32_t* played[2] = {played0, played1};
  int32_t back[4];
  loop.render(back, 4, 44100, played, 2);
  EXPECT_EQ(std::vector<int32_t>(back, back + 4), std::vector<int32_t>(played1, played1 + 4));
  loop.render(back, 4, 44100, nullptr, 2);
  EXPECT_EQ(std::vector<int32_t>(back, back + 4), std::vector<int32_t>(4, 0)) << "no stream: silence";
}
