// Priming, starting, stopping and closing, with the position stamps and the lag rule.
#include "easi_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace easi_test;

namespace {

struct EasiDriverStream : ::testing::Test {
  EasiDriverStream() : card(CardLayout{4, 4, 256, 64}) {}
  ~EasiDriverStream() override { card.endStreamingThread(); }

  void expectStamps(DWORD out0, DWORD out1, DWORD in0, DWORD in1) {
    EXPECT_EQ(easi->getHalfPosition(0, 0), out0);
    EXPECT_EQ(easi->getHalfPosition(1, 0), out1);
    EXPECT_EQ(easi->getHalfPosition(0, 1), in0);
    EXPECT_EQ(easi->getHalfPosition(1, 1), in1);
  }

  FakeCard card;
  RecordingHost host;
  std::unique_ptr<EasiDriver> driver{new EasiDriver(&host)};
  IEasiDriver* easi = driver.get();
};

TEST_F(EasiDriverStream, PrepareStampsBothHalvesAndPrimesOnTheCallersThread) {
  ASSERT_EQ(easi->openDriver(), 0);
  card.setPosition(1000);
  EXPECT_EQ(easi->prepare(3, 4), 0);

  expectStamps(1128, 1384, 488, 744);
  EXPECT_EQ(easi->getHalfPosition(2, 0), 0u);
  EXPECT_EQ(easi->getHalfPosition(0, 2), 0u);
  EXPECT_EQ(driver->currentState(), EasiState::Stopped);
  EXPECT_EQ(host.halves(), (std::vector<LONG>{0, 1}));
  EXPECT_EQ(host.threads(), (std::vector<DWORD>{GetCurrentThreadId(), GetCurrentThreadId()}));
  EXPECT_EQ(card.requestsWith(IOCTL_VV_STOP), 1u);
  EXPECT_EQ(easi->getCurrentPosition(), 1000u);

  // The start position read here is the one startStream sends.
  ASSERT_EQ(easi->startStream(), 0);
  auto requests = card.device.requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_EQ(requests[requests.size() - 2].code, (DWORD)IOCTL_VV_SET_START_POSITION);
  EXPECT_EQ(requests[requests.size() - 2].inputWord(0), 1000u);
  EXPECT_EQ(requests.back().code, (DWORD)IOCTL_VV_START);
}

TEST_F(EasiDriverStream, InputStampsWrapBelowZero) {
  ASSERT_EQ(easi->openDriver(), 0);
  card.setPosition(100);
  ASSERT_EQ(easi->prepare(0, 0), 0);
  expectStamps(228, 484, 4294966884u, 4294967140u);
}

TEST_F(EasiDriverStream, FailedRequestsRecordThreeButEveryStepStillHappens) {
  ASSERT_EQ(easi->openDriver(), 0);
  card.device.replyOnce(IOCTL_VV_STOP, failure());
  card.device.replyOnce(IOCTL_VV_GET_POSITION, failure());
  EXPECT_EQ(easi->prepare(0, 0), 3);
  expectStamps(128, 384, 0u - 512, 0u - 256);  // an unreadable position counts as 0
  EXPECT_EQ(host.halves().size(), 2u);
  EXPECT_EQ(driver->currentState(), EasiState::Stopped);

  card.device.replyOnce(IOCTL_VV_START, failure());
  EXPECT_EQ(easi->startStream(), 3);
  EXPECT_EQ(driver->currentState(), EasiState::Running);
  EXPECT_EQ(easi->getLastError(), 3);

  card.device.replyOnce(IOCTL_VV_STOP, failure());
  EXPECT_EQ(easi->stopStream(), 3);
  EXPECT_EQ(driver->currentState(), EasiState::Stopped);

  card.device.replyOnce(IOCTL_VV_SET_START_POSITION, failure());
  EXPECT_EQ(easi->setStartPosition(77), 3);
  EXPECT_EQ(easi->setStartPosition(78), 0);
  EXPECT_EQ(card.device.requests().back().inputWord(0), 78u);

  card.device.replyOnce(IOCTL_VV_GET_POSITION, failure());
  EXPECT_EQ(easi->getCurrentPosition(), 0u);
  EXPECT_EQ(easi->getLastError(), 0);
}

TEST_F(EasiDriverStream, PrepareWithoutPrimingOnlyChangesTheState) {
  ASSERT_EQ(easi->openDriver(), 0);
  size_t before = card.device.requests().size();
  EXPECT_EQ(easi->prepareWithoutPriming(), 0);
  EXPECT_EQ(driver->currentState(), EasiState::Stopped);
  EXPECT_EQ(card.device.requests().size(), before);
  EXPECT_TRUE(host.halves().empty());
}

TEST_F(EasiDriverStream, AdvanceMovesAStampByTwoHalvesUnlessTheHostLags) {
  ASSERT_EQ(easi->openDriver(), 0);
  card.setPosition(1000);
  ASSERT_EQ(easi->prepare(0, 0), 0);

  easi->advanceHalfPosition(1, 0);
  easi->advanceHalfPosition(0, 1);
  easi->advanceHalfPosition(2, 0);
  easi->advanceHalfPosition(0, 2);
  expectStamps(1128, 1896, 1000, 744);
  EXPECT_EQ(easi->getLastError(), 0);

  ASSERT_EQ(easi->startStream(), 0);
  card.status.completedHalves = 3;  // the card is ahead of the callbacks handed over
  easi->advanceHalfPosition(0, 0);
  EXPECT_EQ(easi->getLastError(), 5);
  expectStamps(1128, 1896, 1000, 744);

  // Stopped, the lag no longer counts.
  ASSERT_EQ(easi->stopStream(), 0);
  easi->advanceHalfPosition(0, 0);
  EXPECT_EQ(easi->getLastError(), 0);
  EXPECT_EQ(easi->getHalfPosition(0, 0), 1640u);
}

TEST_F(EasiDriverStream, StopAndPrimeCallsTheCurrentHalfThenTheOther) {
  ASSERT_EQ(easi->openDriver(), 0);
  card.status.currentHalf = 1;
  EXPECT_EQ(easi->stopAndPrime(), 0);
  EXPECT_EQ(host.halves(), (std::vector<LONG>{1, 0}));
  EXPECT_EQ(driver->currentState(), EasiState::Stopped);
  EXPECT_EQ(card.requestsWith(IOCTL_VV_STOP), 1u);
}

TEST_F(EasiDriverStream, CloseWhileRunningStopsPrimesTwiceThenEndsTheThread) {
  ASSERT_EQ(easi->openDriver(), 0);
  ASSERT_EQ(easi->prepare(0, 0), 0);
  ASSERT_EQ(easi->startStream(), 0);
  host.forget();
  card.status.currentHalf = 0;

  // The card keeps running until the thread has seen Closing.
  std::atomic<bool> closed{false};
  std::thread clock([&] {
    while (!closed)
      if (card.device.waitForBlocked(IOCTL_VV_WAIT_HALF_BUFFER, 1, 20))
        card.device.complete(IOCTL_VV_WAIT_HALF_BUFFER, words({48000, 0}));
  });
  EXPECT_EQ(easi->closeDriver(), 0);
  closed = true;
  clock.join();

  EXPECT_EQ(host.halves(), (std::vector<LONG>{0, 1}));
  EXPECT_EQ(host.threads(), (std::vector<DWORD>{GetCurrentThreadId(), GetCurrentThreadId()}));
  EXPECT_EQ(card.requestsWith(IOCTL_VV_STOP), 3u);  // prepare, stopStream, stopAndPrime
  EXPECT_EQ(driver->currentState(), EasiState::Closed);
  EXPECT_FALSE(driver->hasStreamingThread());
  EXPECT_EQ(card.device.closedCount(), 1u);
  EXPECT_EQ(easi->getLastError(), 0);
}

TEST(EasiDriverWithoutHost, NeverCallsANullHost) {
  FakeCard card;
  std::unique_ptr<EasiDriver> driver(new EasiDriver(nullptr));
  IEasiDriver* easi = driver.get();
  ASSERT_EQ(easi->openDriver(), 0);
  EXPECT_EQ(easi->prepare(0, 0), 0);
  EXPECT_EQ(easi->startStream(), 0);
  card.status.completedHalves = 2;
  ASSERT_TRUE(card.wakeStreamingThread());
  EXPECT_EQ(driver->issuedCallbacks(), 0u);
  EXPECT_EQ(easi->stopAndPrime(), 0);
  EXPECT_EQ(easi->startStream(), 0);
  card.endStreamingThread();
  EXPECT_EQ(easi->closeDriver(), 0);
}

}  // namespace
