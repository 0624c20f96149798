// The ASIO driver end to end on the simulated card: registered with regsvr, created by asiohost
// through CoCreateInstance, streaming a tone through loopback.
#include <gtest/gtest.h>

#include <signal.h>

#include <card_fixture.h>
#include <played_back.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using vexa::testing::binPath;
using vexa::testing::runProgram;

const long kFrames = 1024;

// Channel c of a 32-bit PCM WAV file written by asiohost.
std::vector<std::vector<int32_t>> readChannels(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<std::vector<int32_t>> channels;
  if (bytes.size() < 44) return channels;
  unsigned count = static_cast<uint8_t>(bytes[22]) | static_cast<uint8_t>(bytes[23]) << 8;
  if (count == 0) return channels;
  channels.resize(count);
  size_t samples = (bytes.size() - 44) / 4;
  for (size_t i = 0; i + count <= samples; i += count)
    for (unsigned c = 0; c < count; c++) {
      int32_t value;
      memcpy(&value, &bytes[44 + (i + c) * 4], 4);
      channels[c].push_back(value);
    }
  return channels;
}

long figure(const std::string& output, const std::string& label) {
  size_t at = output.find(label);
  return at == std::string::npos ? -1 : atol(output.c_str() + at + label.size());
}

struct EndToEndTest : ::testing::Test {
  vexa::testing::CardDaemon card{{"--loopback", "--rate", "48000"}};

  void SetUp() override {
    ASSERT_TRUE(card.started()) << card.error();
    auto registered = runProgram({binPath("regsvr"), binPath("tx_va.so")});
    ASSERT_EQ(registered.exitCode, 0) << registered.output << registered.errors;
  }
};

TEST_F(EndToEndTest, HostsFindTheRegisteredDriver) {
  auto listed = runProgram({binPath("asiohost"), "list"});
  EXPECT_EQ(listed.exitCode, 0) << listed.errors;
  EXPECT_NE(listed.output.find("TX ASIO Driver\t{114D6E60-B05D-11D2-9A11-00104BC5C73D}\tTX ASIO"),
            std::string::npos)
      << listed.output;
  auto info = runProgram({binPath("asiohost"), "info"});
  EXPECT_EQ(info.exitCode, 0) << info.errors;
  EXPECT_NE(info.output.find("name: Tarvenix Native"), std::string::npos) << info.output;
  EXPECT_NE(info.output.find("channels: 4 in, 4 out"), std::string::npos);
  EXPECT_NE(info.output.find("in  3: TX4-S/PDIF"), std::string::npos);
  EXPECT_NE(info.output.find("sample rate: 48000 Hz"), std::string::npos);
}

TEST_F(EndToEndTest, TheHostSaysSoWhenTheRegistryCannotBeReadOrTheCardDies) {
  std::string broken = card.folder() + "/broken-registry";
  std::ofstream(broken) << std::string(8192, 'x');
  std::string registry = getenv("VEXA_REGISTRY") ? getenv("VEXA_REGISTRY") : "";
  setenv("VEXA_REGISTRY", broken.c_str(), 1);
  auto listed = runProgram({binPath("asiohost"), "list"});
  setenv("VEXA_REGISTRY", registry.c_str(), 1);
  EXPECT_NE(listed.exitCode, 0) << listed.output;
  EXPECT_NE(listed.errors.find("registry could not be read"), std::string::npos) << listed.errors;

  vexa::testing::BackgroundProgram host(
      {binPath("asiohost"), "stream", "--seconds", "4", "--size", std::to_string(kFrames)});
  ASSERT_TRUE(host.waitForOutput("streaming"));
  usleep(500000);
  kill(card.pid(), SIGKILL);
  auto streamed = host.finish();
  EXPECT_NE(streamed.exitCode, 0) << streamed.output << streamed.errors;
  // About 3.5 s of 21 ms halves went undelivered.
  EXPECT_GT(figure(streamed.output, "halves the card did not deliver: "), 50) << streamed.output;
}

TEST_F(EndToEndTest, ALoopedToneComesBackBitExact) {
  std::string recorded = card.folder() + "/recorded.wav";
  std::string played = card.folder() + "/played.wav";
  auto streamed = runProgram({binPath("asiohost"), "stream", "--seconds", "2", "--size",
                               std::to_string(kFrames), "--tone", "997", "--record", recorded,
                               "--played", played, "--positions"});
  ASSERT_EQ(streamed.exitCode, 0) << streamed.output << streamed.errors;

  // Positions advance from 0 by whole halves at each switch: one, or more where a loaded
  // machine made the host miss halves, which the host counts.
  std::istringstream lines(streamed.output);
  std::string line;
  std::vector<long long> positions;
  while (std::getline(lines, line))
    if (line.rfind("switch ", 0) == 0 && line.find("position ") != std::string::npos)
      positions.push_back(atoll(line.c_str() + line.find("position ") + 9));
  ASSERT_GT(positions.size(), 40u);
  EXPECT_EQ(positions[0], 0);
  long skipped = 0;
  for (size_t i = 1; i < positions.size(); i++) {
    long long step = positions[i] - positions[i - 1];
    ASSERT_TRUE(step > 0 && step % kFrames == 0) << "at callback " << i << ": " << step;
    skipped += static_cast<long>(step / kFrames - 1);
  }
  long callbacks = figure(streamed.output, "callbacks: ");
  EXPECT_EQ(callbacks, static_cast<long>(positions.size()));
  EXPECT_EQ(figure(streamed.output, "missed: "), skipped);
  EXPECT_EQ(figure(streamed.output, "(bufferSwitchTimeInfo "), callbacks - 1);

  auto in = readChannels(recorded);
  auto out = readChannels(played);
  ASSERT_EQ(in.size(), 4u);
  ASSERT_EQ(out.size(), 4u);
  ASSERT_EQ(in[0].size(), out[0].size());
  for (size_t c = 0; c < 4; c++) {
    EXPECT_GE(vexa::testing::halvesPlayedBack(in[c], out[c], kFrames), 10) << "channel " << c + 1;
    size_t sounding = 0;
    for (int32_t v : in[c]) sounding += v != 0;
    EXPECT_GT(sounding, in[c].size() / 2) << "channel " << c + 1 << " is silent";
  }
  // Each output plays its own tone, so a swap of channels would show.
  EXPECT_NE(out[0], out[1]);
}

TEST_F(EndToEndTest, ThePanelProgramReportsTheDriverInUseWhileStreaming) {
  if (access(binPath("tx_ascp").c_str(), X_OK) != 0) GTEST_SKIP() << "tx_ascp is not built";
  // Without a display the panel program's message box goes to standard error.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  vexa::testing::BackgroundProgram host(
      {binPath("asiohost"), "stream", "--seconds", "6", "--size", "1024"});
  ASSERT_TRUE(host.waitForOutput("streaming")) << host.finish().errors;
  auto panel = runProgram({binPath("tx_ascp")}, 20000);
  EXPECT_NE(panel.errors.find("Sorry, the TX ASIO driver is in use or otherwise not available."),
            std::string::npos)
      << panel.output << panel.errors;
  auto streamed = host.finish();
  EXPECT_EQ(streamed.exitCode, 0) << streamed.errors;
  EXPECT_GT(figure(streamed.output, "callbacks: "), 0);
}

}  // namespace
