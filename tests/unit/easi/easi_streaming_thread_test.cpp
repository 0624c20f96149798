// The streaming thread: one callback per wake-up while Running, for the half the card has
// just finished, and its end at close.
#include "easi_test_support.h"

#include <gtest/gtest.h>

#include <memory>

using namespace easi_test;

namespace {

struct EasiStreamingThread : ::testing::Test {
  ~EasiStreamingThread() override { card.endStreamingThread(); }

  void wake(int times) {
    for (int i = 0; i < times; ++i) ASSERT_TRUE(card.wakeStreamingThread());
  }

  FakeCard card;
  RecordingHost host;
  std::unique_ptr<EasiDriver> driver{new EasiDriver(&host)};
  IEasiDriver* easi = driver.get();
};

TEST_F(EasiStreamingThread, WakesWithoutCallingWhileOpenOrStopped) {
  ASSERT_EQ(easi->openDriver(), 0);
  card.status.completedHalves = 4;
  wake(2);
  ASSERT_EQ(easi->prepare(0, 0), 0);
  host.forget();
  wake(2);
  EXPECT_TRUE(host.halves().empty());
  EXPECT_EQ(card.requestsWith(IOCTL_VV_WAIT_HALF_BUFFER), 5u);
}

TEST_F(EasiStreamingThread, IssuesOneCallbackPerWakeUpUntilItHasCaughtUp) {
  ASSERT_EQ(easi->openDriver(), 0);
  ASSERT_EQ(easi->prepare(0, 0), 0);
  ASSERT_EQ(easi->startStream(), 0);
  host.forget();

  card.status.completedHalves = 5;
  wake(5);
  EXPECT_EQ(driver->issuedCallbacks(), 5u);
  wake(1);  // 5 completed, 5 issued: nothing
  EXPECT_EQ(host.halves().size(), 5u);

  card.status.completedHalves = 7;
  wake(1);
  EXPECT_EQ(host.halves().size(), 6u);
  EXPECT_EQ(driver->issuedCallbacks(), 6u);
  easi->advanceHalfPosition(0, 0);  // still one half behind
  EXPECT_EQ(easi->getLastError(), 5);
  wake(1);
  EXPECT_EQ(driver->issuedCallbacks(), 7u);
  easi->advanceHalfPosition(0, 0);
  EXPECT_EQ(easi->getLastError(), 0);

  for (DWORD thread : host.threads()) EXPECT_NE(thread, GetCurrentThreadId());

  // prepare starts the count afresh.
  ASSERT_EQ(easi->stopStream(), 0);
  ASSERT_EQ(easi->prepare(0, 0), 0);
  EXPECT_EQ(driver->issuedCallbacks(), 0u);
}

TEST_F(EasiStreamingThread, HandsOverTheHalfTheCardIsNotWorkingOn) {
  ASSERT_EQ(easi->openDriver(), 0);
  ASSERT_EQ(easi->startStream(), 0);
  card.status.completedHalves = 0xFFFFFFFF;
  card.status.currentHalf = 1;
  wake(1);
  card.status.currentHalf = 0;
  wake(1);
  EXPECT_EQ(host.halves(), (std::vector<LONG>{0, 1}));
}

TEST_F(EasiStreamingThread, AnAdvanceFromInsideTheCallbackFindsTheCardAhead) {
  ASSERT_EQ(easi->openDriver(), 0);
  ASSERT_EQ(easi->startStream(), 0);
  std::vector<LONG> errors;
  host.onCallback = [&](LONG half) {
    easi->advanceHalfPosition(half, 0);
    errors.push_back(easi->getLastError());
  };
  card.status.completedHalves = 1;
  wake(1);
  host.onCallback = nullptr;  // closing primes again, after `errors` has gone
  EXPECT_EQ(errors, (std::vector<LONG>{5}));
}

TEST_F(EasiStreamingThread, CloseWithASilentCardTerminatesTheThreadAfterHalfASecond) {
  ASSERT_EQ(easi->openDriver(), 0);
  ASSERT_TRUE(card.device.waitForBlocked(IOCTL_VV_WAIT_HALF_BUFFER, 1));

  DWORD started = GetTickCount();
  EXPECT_EQ(easi->closeDriver(), 0);
  DWORD waited = GetTickCount() - started;
  EXPECT_GE(waited, 450u);  // the thread never saw Closing; only the time-out ended it

  EXPECT_FALSE(driver->hasStreamingThread());
  EXPECT_EQ(card.device.closedCount(), 1u);
  Sleep(50);
  EXPECT_EQ(card.device.blockedCount(IOCTL_VV_WAIT_HALF_BUFFER), 0u);
  EXPECT_EQ(card.requestsWith(IOCTL_VV_WAIT_HALF_BUFFER), 1u);
}

TEST_F(EasiStreamingThread, AFailedWaitEndsTheThreadAndLeavesTheObjectAsItWas) {
  card.device.blockRequests(IOCTL_VV_WAIT_HALF_BUFFER, false);
  card.device.reply(IOCTL_VV_WAIT_HALF_BUFFER, failure());
  ASSERT_EQ(easi->openDriver(), 0);
  ASSERT_EQ(easi->prepare(0, 0), 0);
  ASSERT_EQ(easi->startStream(), 0);
  card.status.completedHalves = 3;
  for (int i = 0; i < 500 && card.requestsWith(IOCTL_VV_WAIT_HALF_BUFFER) == 0; ++i) Sleep(10);
  Sleep(20);
  EXPECT_EQ(driver->currentState(), EasiState::Running);
  EXPECT_EQ(driver->issuedCallbacks(), 0u);
  EXPECT_EQ(card.requestsWith(IOCTL_VV_WAIT_HALF_BUFFER), 1u);
  EXPECT_EQ(easi->closeDriver(), 0);
  EXPECT_EQ(driver->currentState(), EasiState::Closed);
}

}  // namespace
