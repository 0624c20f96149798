// Opening and closing, and the state checks every operation makes.
#include "easi_test_support.h"

#include <gtest/gtest.h>

#include <memory>

using namespace easi_test;

namespace {

struct EasiDriverStates : ::testing::Test {
  FakeCard card;
  RecordingHost host;
  std::unique_ptr<EasiDriver> driver{new EasiDriver(&host)};
  IEasiDriver* easi = driver.get();

  ~EasiDriverStates() override { card.endStreamingThread(); }
};

TEST_F(EasiDriverStates, EveryCheckedOperationBeforeOpenRecordsSixAndSendsNothing) {
  EXPECT_EQ(easi->setStartPosition(5), 6);
  EXPECT_EQ(easi->prepare(0, 0), 6);
  EXPECT_EQ(easi->prepareWithoutPriming(), 6);
  EXPECT_EQ(easi->startStream(), 6);
  EXPECT_EQ(easi->getHalfPosition(0, 0), 6u);
  EXPECT_EQ(easi->getCurrentPosition(), 6u);
  EXPECT_EQ(easi->stopStream(), 6);
  EXPECT_EQ(easi->stopAndPrime(), 6);
  EXPECT_EQ(easi->getChannelCount(0), 6);

  EXPECT_EQ(easi->getLastError(), 6);
  EXPECT_EQ(easi->getLastError(), 0);
  EXPECT_EQ(driver->currentState(), EasiState::Closed);
  EXPECT_TRUE(host.halves().empty());
  EXPECT_EQ(card.device.openCount(), 0u);
}

TEST_F(EasiDriverStates, OperationsOutsideTheirStatesAreRefusedWhileOpenAndRunning) {
  ASSERT_EQ(easi->openDriver(), 0);
  EXPECT_EQ(easi->stopStream(), 6);  // Open is not among its states
  EXPECT_EQ(driver->currentState(), EasiState::Open);

  ASSERT_EQ(easi->startStream(), 0);
  EXPECT_EQ(easi->prepare(0, 0), 6);
  EXPECT_EQ(easi->prepareWithoutPriming(), 6);
  EXPECT_EQ(easi->startStream(), 6);
  EXPECT_EQ(driver->currentState(), EasiState::Running);
  EXPECT_EQ(easi->getLastError(), 6);
}

TEST_F(EasiDriverStates, OpenClaimsTheCardWithTheStoredSizeAndSelectsTheInternalClock) {
  card.storeBufferSize(1024);
  StreamConfig reply = card.config;
  reply.bufferBytes = 2048;  // the card driver may settle on another size
  card.answerOpenWith(reply);

  ASSERT_EQ(easi->openDriver(), 0);
  EXPECT_EQ(driver->currentState(), EasiState::Open);
  EXPECT_TRUE(driver->hasStreamingThread());
  EXPECT_EQ(easi->getLastError(), 0);

  size_t openStreams = 0;
  for (const auto& request : card.device.requests())
    if (request.code == IOCTL_VV_OPEN_STREAM) {
      ++openStreams;
      EXPECT_EQ(request.inputWord(0), 4096u);
    }
  EXPECT_EQ(openStreams, 1u);
  EXPECT_EQ(card.requestsWith(IOCTL_VV_SELECT_INTERNAL_CLOCK), 1u);
  EXPECT_EQ(easi->getBufferFrames(0), 512);
  EXPECT_EQ(easi->getChannelBuffer(0, 0, 0)->frames, 512);
}

TEST_F(EasiDriverStates, FailedOpensLeaveTheObjectClosedWithoutHandleOrThread) {
  card.device.setAvailable(false);
  EXPECT_EQ(easi->openDriver(), 2);

  card.device.setAvailable(true);
  card.device.replyOnce(IOCTL_VV_GET_VERSION, words({1}));
  EXPECT_EQ(easi->openDriver(), 2);
  EXPECT_EQ(card.requestsWith(IOCTL_VV_OPEN_STREAM), 0u);

  card.device.replyOnce(IOCTL_VV_OPEN_STREAM, failure());
  EXPECT_EQ(easi->openDriver(), 4);
  EXPECT_EQ(easi->getLastError(), 4);

  EXPECT_EQ(driver->currentState(), EasiState::Closed);
  EXPECT_FALSE(driver->hasStreamingThread());
  EXPECT_EQ(card.device.closedCount(), card.device.openCount());
  EXPECT_STREQ(easi->getChannelName(0, 0), "unknown");
  EXPECT_EQ(easi->getBufferFrames(0), 0);
  EXPECT_EQ(easi->closeDriver(), 0);
  EXPECT_EQ(card.requestsWith(IOCTL_VV_WAIT_HALF_BUFFER), 0u);

  // The card is free again: the same object opens.
  EXPECT_EQ(easi->openDriver(), 0);
  EXPECT_EQ(easi->getChannelCount(1), 4);
}

TEST_F(EasiDriverStates, OpenTwiceIsRefusedAndKeepsOneHandleAndOneThread) {
  card.device.blockRequests(IOCTL_VV_WAIT_HALF_BUFFER);
  ASSERT_EQ(easi->openDriver(), 0);
  ASSERT_TRUE(card.device.waitForBlocked(IOCTL_VV_WAIT_HALF_BUFFER, 1));

  EXPECT_EQ(easi->openDriver(), 6);
  EXPECT_EQ(driver->currentState(), EasiState::Open);
  EXPECT_EQ(card.device.openCount(), 1u);
  Sleep(50);
  EXPECT_EQ(card.device.blockedCount(IOCTL_VV_WAIT_HALF_BUFFER), 1u);
}

TEST_F(EasiDriverStates, OpenAfterCloseStartsAfreshAndSecondCloseDoesNothing) {
  ASSERT_EQ(easi->openDriver(), 0);
  EXPECT_EQ(easi->closeDriver(), 0);
  EXPECT_EQ(easi->closeDriver(), 0);
  EXPECT_EQ(driver->currentState(), EasiState::Closed);
  EXPECT_FALSE(driver->hasStreamingThread());
  EXPECT_EQ(card.device.closedCount(), 1u);
  EXPECT_EQ(easi->getBufferFrames(0), 0);
  EXPECT_EQ(easi->getChannelBuffers(0), nullptr);
  EXPECT_EQ(easi->setSampleRateByIndex(0), 3);

  ASSERT_EQ(easi->openDriver(), 0);
  EXPECT_EQ(card.device.openCount(), 2u);
  EasiChannelBuffer* outputs = easi->getChannelBuffers(0);
  ASSERT_NE(outputs, nullptr);
  EXPECT_EQ(outputs[3].data, card.config.outputs[3].half[0]);
  EXPECT_EQ(easi->getBufferFrames(0), 256);
}

}  // namespace
