// What the driver reports: channels, names, rates, formats, descriptors, fixed answers, and
// the sample-rate request.
#include "easi_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

using namespace easi_test;

namespace {

struct EasiDriverQueries : ::testing::Test {
  explicit EasiDriverQueries(CardLayout layout = {}) : card(layout) {}
  ~EasiDriverQueries() override { card.endStreamingThread(); }

  FakeCard card;
  RecordingHost host;
  std::unique_ptr<EasiDriver> driver{new EasiDriver(&host)};
  IEasiDriver* easi = driver.get();
};

struct SixOutputsNoInputs : EasiDriverQueries {
  SixOutputsNoInputs() : EasiDriverQueries(CardLayout{0, 6, 128, 32}) {}
};

TEST_F(EasiDriverQueries, ChannelCountsAndNames) {
  EXPECT_STREQ(easi->getChannelName(0, 0), "unknown");
  EXPECT_STREQ(easi->getChannelName(7, -3), "unknown");
  ASSERT_EQ(easi->openDriver(), 0);

  EXPECT_EQ(easi->getChannelCount(0), 4);
  EXPECT_EQ(easi->getChannelCount(1), 4);
  EXPECT_EQ(easi->getChannelCount(2), 0);
  EXPECT_EQ(easi->getChannelCount(-1), 0);
  EXPECT_STREQ(easi->getChannelName(0, 0), "VexaEASI out 0");
  EXPECT_STREQ(easi->getChannelName(0, 3), "VexaEASI out 3");
  EXPECT_STREQ(easi->getChannelName(1, 0), "VexaEASI in 0");
  EXPECT_STREQ(easi->getChannelName(1, 3), "VexaEASI in 3");
  EXPECT_EQ(easi->getChannelName(0, 4), nullptr);
  EXPECT_EQ(easi->getChannelName(1, -1), nullptr);
  EXPECT_EQ(easi->getChannelName(2, 0), nullptr);
  EXPECT_EQ(easi->getLastError(), 0);
}

TEST_F(EasiDriverQueries, RatesAndFormats) {
  EXPECT_EQ(easi->getSampleRateCount(), 4);
  const LONG expected[] = {44100, 48000, 88200, 96000};
  for (LONG i = 0; i < 4; ++i) EXPECT_EQ(easi->getSampleRateByIndex(i), expected[i]);
  EXPECT_EQ(easi->getSampleRateByIndex(4), 0);
  EXPECT_EQ(easi->getSampleRateByIndex(-1), 0);

  for (LONG direction : {0, 1})
    for (LONG format : {8, 12, 16, 20}) EXPECT_TRUE(easi->isFormatSupported(direction, format));
  EXPECT_FALSE(easi->isFormatSupported(1, 24));
  EXPECT_FALSE(easi->isFormatSupported(0, 4));
  EXPECT_FALSE(easi->isFormatSupported(0, 0));
  EXPECT_FALSE(easi->isFormatSupported(2, 16));
}

TEST_F(EasiDriverQueries, DescriptorsPointAtTheCardsHalvesOfEachChannel) {
  EXPECT_EQ(easi->getChannelBuffers(0), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(0, 0, 0), nullptr);
  EXPECT_EQ(easi->getLastError(), 0);  // asking while closed records nothing
  ASSERT_EQ(easi->openDriver(), 0);

  EasiChannelBuffer* outputs = easi->getChannelBuffers(0);
  EasiChannelBuffer* inputs = easi->getChannelBuffers(1);
  ASSERT_NE(outputs, nullptr);
  ASSERT_NE(inputs, nullptr);
  for (LONG j = 0; j < 4; ++j) {
    EXPECT_EQ(outputs[j].data, card.config.outputs[j].half[0]);
    EXPECT_EQ(inputs[j].data, card.config.inputs[j].half[0]);
    EXPECT_EQ(easi->getChannelBuffer(0, 0, j), &outputs[j]);
    EXPECT_EQ(easi->getChannelBuffer(0, 1, j), &inputs[j]);
    for (LONG half : {0, 1}) {
      for (LONG direction : {0, 1}) {
        const EasiChannelBuffer* d = easi->getChannelBuffer(half, direction, j);
        ASSERT_NE(d, nullptr);
        const HalfBufferPair& entry =
            direction == 0 ? card.config.outputs[j] : card.config.inputs[j];
        EXPECT_EQ(d->data, entry.half[half]);
        EXPECT_EQ(d->half, half);
        EXPECT_EQ(d->channels, 1);
        EXPECT_EQ(d->frames, 256);
        EXPECT_EQ(d->bytesPerSample, 4);
        uint32_t bits;
        std::memcpy(&bits, &d->fullScale, 4);
        EXPECT_EQ(bits, 0x4EFFFFFCu);
      }
    }
  }
  EXPECT_EQ(easi->getChannelBuffers(2), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(2, 0, 0), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(-1, 0, 0), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(0, 2, 0), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(0, 0, 4), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(1, 1, -1), nullptr);
  EXPECT_EQ(easi->getBufferFrames(99), 256);

  card.endStreamingThread();
  EXPECT_EQ(easi->closeDriver(), 0);
  EXPECT_EQ(easi->getChannelBuffers(0), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(1, 0, 0), nullptr);
  EXPECT_EQ(easi->getBufferFrames(0), 0);
}

TEST_F(SixOutputsNoInputs, ADirectionWithoutChannelsHasNoArrayAndOnlyFourNames) {
  ASSERT_EQ(easi->openDriver(), 0);
  EXPECT_EQ(easi->getChannelCount(1), 0);
  EXPECT_EQ(easi->getChannelBuffers(1), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(0, 1, 0), nullptr);
  ASSERT_NE(easi->getChannelBuffers(0), nullptr);
  EXPECT_EQ(easi->getChannelBuffer(1, 0, 5)->data, card.config.outputs[5].half[1]);
  EXPECT_EQ(easi->getChannelBuffer(1, 0, 5)->frames, 128);
  EXPECT_EQ(easi->getChannelName(0, 4), nullptr);
}

TEST_F(EasiDriverQueries, FixedAnswersTouchNeitherTheCardNorTheLastError) {
  ASSERT_EQ(easi->getChannelCount(0), 6);  // leaves 6 recorded
  size_t before = card.device.requests().size();

  EXPECT_EQ(easi->getCapabilities(), 0);
  EXPECT_EQ(easi->getInterfaceVersion(), 1);
  EXPECT_FALSE(easi->supportsInputMonitoring(0));
  LONG first = 0x5555, second = 0x5555;
  EXPECT_FALSE(easi->getExtraLatency(1, &first, &second));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  EXPECT_FALSE(easi->getExtraLatency(0, nullptr, nullptr));
  EXPECT_EQ(easi->getClockSourceCount(0), 1);
  EXPECT_EQ(easi->getChannelGain(0, 0), -1.0f);
  EXPECT_EQ(easi->connectMonitor(1, 0, 0, 0), 1);
  EXPECT_EQ(easi->disconnectMonitor(1, 0, 0, 0), 1);

  EXPECT_EQ(card.device.requests().size(), before);
  EXPECT_EQ(easi->getLastError(), 6);
}

TEST_F(EasiDriverQueries, SampleRateByIndexSendsTheRateAndReportsOnlyFailures) {
  EXPECT_EQ(easi->setSampleRateByIndex(1), 3);  // no handle before openDriver
  EXPECT_EQ(card.requestsWith(IOCTL_VV_SET_SAMPLE_RATE), 0u);
  ASSERT_EQ(easi->openDriver(), 0);

  ASSERT_EQ(easi->stopStream(), 6);
  EXPECT_EQ(easi->setSampleRateByIndex(1), 0);
  EXPECT_EQ(easi->getLastError(), 6);  // success leaves the last error alone
  EXPECT_EQ(easi->setSampleRateByIndex(4), 0);

  card.device.replyOnce(IOCTL_VV_SET_SAMPLE_RATE, failure());
  EXPECT_EQ(easi->setSampleRateByIndex(3), 3);
  EXPECT_EQ(easi->getLastError(), 3);

  std::vector<uint32_t> sent;
  for (const auto& request : card.device.requests())
    if (request.code == IOCTL_VV_SET_SAMPLE_RATE) sent.push_back(request.inputWord(0));
  EXPECT_EQ(sent, (std::vector<uint32_t>{48000, 0, 96000}));
}

}  // namespace
