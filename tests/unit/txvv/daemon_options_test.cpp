// txvvd's command line: values are checked, and the demo and test shorthands expand.
#include "daemon/daemon_options.h"

#include <gtest/gtest.h>

using namespace txvv;

namespace {

bool parse(std::vector<std::string> args, DaemonOptions* options, std::string* error) {
  args.insert(args.begin(), "txvvd");
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  return parseDaemonOptions(int(argv.size()), argv.data(), options, error);
}

}  // namespace

TEST(DaemonOptions, ValuesAreParsedAndChecked) {
  DaemonOptions options;
  std::string error;
  ASSERT_TRUE(parse({"--inputs", "8", "--outputs=6", "--min-buffer", "64", "--rate", "96000",
                     "--sample-count-start", "0xFFFFFF00", "--refuse", "0x220058,0x2200A4",
                     "--signal", "1=sine:440:-6,clip:3:100", "--signal=2=loop:5",
                     "--capture", "0=/tmp/x.wav", "--spdif-change", "500:48000",
                     "--spdif-change", "900:0"},
                    &options, &error))
      << error;
  const CardOptions& card = options.card;
  EXPECT_EQ(card.inputs, 8u);
  EXPECT_EQ(card.outputs, 6u);
  EXPECT_EQ(card.minBufferFrames, 64u);
  EXPECT_EQ(card.rate, 96000u);
  EXPECT_EQ(card.sampleCountStart, 0xFFFFFF00u);
  EXPECT_EQ(card.refusedCodes, (std::set<uint32_t>{0x220058, 0x2200A4}));
  EXPECT_EQ(card.signals.at(1).kind, SignalSetup::Sine);
  EXPECT_DOUBLE_EQ(card.signals.at(1).frequency, 440.0);
  EXPECT_DOUBLE_EQ(card.signals.at(1).levelDb, -6.0);
  EXPECT_EQ(card.signals.at(1).clipLength, 3u);
  EXPECT_EQ(card.signals.at(1).clipEvery, 100u);
  EXPECT_EQ(card.signals.at(2).loopOutput, 5u);
  EXPECT_EQ(card.captures.at(0), "/tmp/x.wav");
  ASSERT_EQ(card.spdifChanges.size(), 2u);
  EXPECT_EQ(card.spdifChanges[1].rate, 0u);

  for (std::vector<std::string> bad :
       {std::vector<std::string>{"--inputs", "41"}, {"--inputs", "0"}, {"--rate", "8000"},
        {"--rate", "-44100"}, {"--min-buffer", "40000"}, {"--signal", "0=sine:x"},
        {"--signal", "4=sine"}, {"--signal", "0=loop:4"}, {"--signal", "0=square"},
        {"--signal", "0=sine,clip:5:2"}, {"--capture", "9=/tmp/a.wav"}, {"--routing", "5"},
        {"--meter-block", "16"}, {"--meter-slots", "65"}, {"--spdif-change", "900:0", "--spdif-change", "500:48000"},
        {"--refuse", "zz"}, {"--linger"}, {"--frobnicate"}, {"--sample-count-start", "0x100000000"}}) {
    DaemonOptions rejected;
    EXPECT_FALSE(parse(bad, &rejected, &error)) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    EXPECT_FALSE(error.empty());
  }
}

TEST(DaemonOptions, LoopbackAndLivelyFillOnlyTheInputsNotNamed) {
  DaemonOptions options;
  std::string error;
  ASSERT_TRUE(parse({"--inputs", "4", "--outputs", "2", "--signal", "0=noise", "--loopback"},
                    &options, &error)) << error;
  EXPECT_EQ(options.card.signals.at(0).kind, SignalSetup::Noise);
  EXPECT_EQ(options.card.signals.at(1).kind, SignalSetup::Loop);
  EXPECT_EQ(options.card.signals.at(1).loopOutput, 1u);
  EXPECT_EQ(options.card.signals.count(2), 0u) << "no output 2 to loop back";

  DaemonOptions lively;
  ASSERT_TRUE(parse({"--lively", "--on-demand"}, &lively, &error));
  EXPECT_EQ(lively.card.signals.size(), 4u);
  EXPECT_EQ(lively.lingerMs, 5000);
}
