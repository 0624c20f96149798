// The card's signal sources: sine with level, clip bursts and loopback of what was played.
#include "card/signal_source.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>

using namespace txvv;

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
