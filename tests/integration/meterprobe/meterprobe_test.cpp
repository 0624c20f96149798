// meterprobe on a simulated card whose tapped channels carry known signals: the printed
// levels and clip runs must be the ones those signals give, and a card that the meter cannot
// use must give the meter program's own start-up messages.
#include <card_fixture.h>
#include <gtest/gtest.h>

#include <stdio.h>

#include <sstream>
#include <string>

namespace {

using vexa::testing::binPath;
using vexa::testing::CardDaemon;
using vexa::testing::ProgramResult;
using vexa::testing::runProgram;

struct FinalLine {
  bool found = false;
  long rate = 0;
  double level[2] = {0, 0};
  double peak[2] = {0, 0};
  int clipRuns[2] = {0, 0};
  char lamps[2] = {'?', '?'};
  unsigned blocks = 0;
};

FinalLine ParseFinal(const std::string& output) {
  FinalLine line;
  std::istringstream lines(output);
  std::string text;
  while (std::getline(lines, text)) {
    if (text.rfind("final", 0) != 0) continue;
    line.found = sscanf(text.c_str(),
                        "final %ld Hz level %lf %lf dB peak %lf %lf dB clip runs %d %d "
                        "lamps %c %c blocks %u",
                        &line.rate, &line.level[0], &line.level[1], &line.peak[0], &line.peak[1],
                        &line.clipRuns[0], &line.clipRuns[1], &line.lamps[0], &line.lamps[1],
                        &line.blocks) == 10;
  }
  return line;
}

ProgramResult Probe(std::vector<std::string> options) {
  options.insert(options.begin(), binPath("meterprobe"));
  return runProgram(options, 60000);
}

TEST(MeterprobeTest, ShowsTheSineLevelAndTheLongestClipRun) {
  // Channel 1: a -20 dBFS sine. Channel 2: a quiet sine with a 7-sample full-scale burst
  // every second.
  CardDaemon card({"--rate", "44100", "--meter-block", "1024", "--signal", "0=sine:1000:-20",
                   "--signal", "1=sine:500:-30,clip:7:44100"});
  ASSERT_TRUE(card.started()) << card.error();

  const ProgramResult hold = Probe({"--seconds", "7", "--interval", "1000"});
  ASSERT_EQ(hold.exitCode, 0) << hold.output << hold.errors;
  EXPECT_NE(hold.output.find("PPM w/Peak Hold"), std::string::npos) << hold.output;
  const FinalLine held = ParseFinal(hold.output);
  ASSERT_TRUE(held.found) << hold.output;
  EXPECT_EQ(held.rate, 44100);
  EXPECT_GT(held.blocks, 20u);
  EXPECT_NEAR(held.level[0], -20.0, 0.5) << hold.output;
  // The start-up full scale is held for 3 s of samples and then falls to the signal, unless
  // a very busy machine made the probe lose much of its data.
  if (held.blocks * 1024.0 > 4.0 * 44100) {
    EXPECT_NEAR(held.peak[0], -20.0, 0.5) << hold.output;
  }
  EXPECT_EQ(held.clipRuns[0], 0);
  EXPECT_EQ(held.clipRuns[1], 7) << hold.output;
  EXPECT_EQ(held.lamps[0], '-');
  EXPECT_EQ(held.lamps[1], '*');

  // Without peak hold, with a clip count above the run and with 24 clip bits.
  const ProgramResult plain = Probe({"--ballistics", "ppm", "--clip-count", "8", "--clip-bits",
                                     "24", "--seconds", "4.5"});
  ASSERT_EQ(plain.exitCode, 0) << plain.output << plain.errors;
  const FinalLine ppm = ParseFinal(plain.output);
  ASSERT_TRUE(ppm.found) << plain.output;
  EXPECT_NEAR(ppm.level[0], -20.0, 0.5) << plain.output;
  EXPECT_EQ(ppm.peak[0], -188.0);
  EXPECT_EQ(ppm.clipRuns[1], 7) << plain.output;
  EXPECT_EQ(ppm.lamps[1], '-');
}

TEST(MeterprobeTest, CardsTheMeterCannotUseGiveTheStartUpMessages) {
  {
    CardDaemon card({"--version-word", "1"});
    ASSERT_TRUE(card.started()) << card.error();
    const ProgramResult result = Probe({"--seconds", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errors, "Vexa-o-meter: wrong driver version!\n");
  }
  {
    CardDaemon card({"--unsupported-hardware"});
    ASSERT_TRUE(card.started()) << card.error();
    const ProgramResult result = Probe({"--seconds", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errors, "Vexa-o-meter: LLVA Init failed, exiting!\n");
  }
  {
    CardDaemon card({"--refuse", "0x2200B0"});
    ASSERT_TRUE(card.started()) << card.error();
    const ProgramResult result = Probe({"--seconds", "1"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.errors, "Vexa-o-meter: VxD start failed, exiting!\n");
  }
}

TEST(MeterprobeTest, BadOptionsAreRefusedBeforeTheCardIsOpened) {
  for (const char* bad : {"--clip-bits=16", "--seconds", "--ballistics"}) {
    const ProgramResult result = Probe({bad, bad[2] == 's' ? "-1" : "loud"});
    EXPECT_EQ(result.exitCode, 2) << bad;
    EXPECT_NE(result.errors.find("usage: meterprobe"), std::string::npos);
  }
}

}  // namespace
