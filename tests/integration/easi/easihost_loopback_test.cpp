// easihost through tx_ve and the simulated card: a tone to every output comes back on every
// input through loopback, bit for bit.
#include "card_fixture.h"
#include "played_back.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

using vexa::testing::binPath;
using vexa::testing::CardDaemon;
using vexa::testing::runProgram;

namespace {

struct Recording {
  uint32_t channels = 0;
  std::vector<std::vector<int32_t>> samples;  // per channel
};

// The 32-bit PCM files easihost writes: a 44-byte header, then interleaved frames.
bool readRecording(const std::string& path, Recording* recording) {
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  fclose(file);
  if (bytes.size() < 44 || memcmp(bytes.data(), "RIFF", 4) != 0) return false;
  uint16_t channels, bits;
  uint32_t dataBytes;
  memcpy(&channels, &bytes[22], 2);
  memcpy(&bits, &bytes[34], 2);
  memcpy(&dataBytes, &bytes[40], 4);
  if (bits != 32 || channels == 0 || 44 + size_t(dataBytes) > bytes.size()) return false;
  size_t frames = dataBytes / 4 / channels;
  recording->channels = channels;
  recording->samples.assign(channels, std::vector<int32_t>(frames));
  for (size_t f = 0; f < frames; ++f)
    for (uint32_t c = 0; c < channels; ++c)
      memcpy(&recording->samples[c][f], &bytes[44 + (f * channels + c) * 4], 4);
  return true;
}

uint64_t figure(const std::string& output, const std::string& label) {
  size_t at = output.find(label);
  if (at == std::string::npos) return UINT64_MAX;
  return strtoull(output.c_str() + at + label.size(), nullptr, 10);
}

TEST(EasihostLoopback, AToneComesBackBitExactAt256Frames) {
  CardDaemon card({"--rate", "48000", "--loopback"});
  ASSERT_TRUE(card.started()) << card.error();
  const std::string recorded = card.folder() + "/inputs.wav";
  const std::string played = card.folder() + "/outputs.wav";

  auto run = runProgram({binPath("easihost"), "--buffer-size", "256", "--rate", "48000",
                         "--seconds", "2", "--tone", "997", "--level", "-3", "--record", recorded,
                         "--played", played});
  ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
  EXPECT_NE(run.output.find("frames per half: 256"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("VexaEASI in 3"), std::string::npos);
  EXPECT_GT(figure(run.output, "callbacks: "), 20u);
  // Advanced in rounds, yet every half called back is advanced, once.
  EXPECT_EQ(figure(run.output, "halves advanced: "), figure(run.output, "callbacks: "));

  Recording inputs, outputs;
  ASSERT_TRUE(readRecording(recorded, &inputs));
  ASSERT_TRUE(readRecording(played, &outputs));
  ASSERT_EQ(inputs.channels, 4u);
  ASSERT_EQ(outputs.channels, 4u);
  for (uint32_t c = 0; c < 4; ++c) {
    const auto& in = inputs.samples[c];
    const auto& out = outputs.samples[c];
    ASSERT_GE(in.size(), 10u * 256);
    bool sounding = false;
    for (int32_t s : in) sounding |= s != 0;
    EXPECT_TRUE(sounding) << "input " << c << " is silent";
    EXPECT_GE(vexa::testing::halvesPlayedBack(in, out, 256), 10) << "input " << c;
  }
}

TEST(EasihostLoopback, ACardInUseIsReportedAndNothingStreams) {
  CardDaemon card({"--refuse-stream"});
  ASSERT_TRUE(card.started()) << card.error();
  auto run = runProgram({binPath("easihost"), "--seconds", "1"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.errors.find("openDriver failed: error 4"), std::string::npos) << run.errors;
}

TEST(EasihostLoopback, ACardThatDiesMidStreamEndsTheRunWithTheHalvesItOwed) {
  CardDaemon card({"--rate", "48000"});
  ASSERT_TRUE(card.started()) << card.error();
  vexa::testing::BackgroundProgram host(
      {binPath("easihost"), "--buffer-size", "1024", "--seconds", "4", "--brief"});
  usleep(1000000);
  kill(card.pid(), SIGKILL);
  auto run = host.finish();
  EXPECT_EQ(run.exitCode, 3) << run.output << run.errors;
  // About 3 s of 21 ms halves went undelivered.
  uint64_t undelivered = figure(run.output, "halves the card did not deliver: ");
  EXPECT_NE(undelivered, UINT64_MAX) << run.output;
  EXPECT_GT(undelivered, 50u) << run.output;
}

}  // namespace
