// Streaming: start and stop in each stream state, the buffer switches the worker hands on,
// the sample position and time stamp, rate changes, and shutdown.
#include <gtest/gtest.h>

#include <future>

#include "driver_handle.h"
#include "fake_card.h"
#include "host_recorder.h"

namespace {

unsigned long long joined(const ASIOSamples& s) {
  return static_cast<unsigned long long>(s.hi) << 32 | s.lo;
}
unsigned long long joined(const ASIOTimeStamp& s) {
  return static_cast<unsigned long long>(s.hi) << 32 | s.lo;
}

struct StreamTest : ::testing::Test {
  FakeCard card;
  HostRecorder host;
  DriverHandle driver;

  void SetUp() override {
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    host.driver = driver.asio();
  }
  void TearDown() override { host.driver = nullptr; }

  void createBuffers(ASIOCallbacks callbacks) {
    ASIOBufferInfo infos[2] = {{ASIOTrue, 0, {}}, {ASIOFalse, 0, {}}};
    ASSERT_EQ(driver->createBuffers(infos, 2, 256, &callbacks), ASE_OK);
  }
  void createBuffers() { createBuffers(host.callbacks()); }

  // Started, with the first switch (half 0 at driver count `count`) handed on.
  void startRunning(DWORD count = 1000, DWORD ms = 5) {
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(card.completeHalf(0, count, ms));
  }
};

TEST_F(StreamTest, StartAndStopFollowTheStreamState) {
  EXPECT_EQ(driver->start(), ASE_InvalidMode);  // no buffers
  EXPECT_EQ(driver->stop(), ASE_InvalidMode);
  createBuffers();
  EXPECT_EQ(driver->stop(), ASE_InvalidMode);  // Idle
  EXPECT_EQ(card.sent(IOCTL_VV_STOP), 0u);

  EXPECT_EQ(driver->start(), ASE_OK);
  EXPECT_EQ(card.sent(IOCTL_VV_START), 1u);
  EXPECT_EQ(driver->stop(), ASE_InvalidMode);  // Starting: before the first switch
  EXPECT_EQ(card.sent(IOCTL_VV_STOP), 0u);
  EXPECT_EQ(driver->start(), ASE_OK);  // Starting again is allowed
  EXPECT_EQ(card.sent(IOCTL_VV_START), 2u);

  ASSERT_TRUE(card.completeHalf(0, 0, 1));
  EXPECT_EQ(driver->start(), ASE_InvalidMode);  // Running
  EXPECT_EQ(card.sent(IOCTL_VV_START), 2u);
  EXPECT_EQ(driver->stop(), ASE_OK);
  EXPECT_EQ(card.sent(IOCTL_VV_STOP), 1u);
  EXPECT_EQ(driver->stop(), ASE_InvalidMode);

  // Halves after stop reach nobody.
  ASSERT_TRUE(card.completeHalf(1, 64, 2));
  EXPECT_EQ(host.switches().size(), 1u);
}

TEST_F(StreamTest, CardRefusalsAreHardwareFaults) {
  createBuffers();
  card.device.replyOnce(IOCTL_VV_START, {false, 0, {}, {}});
  EXPECT_EQ(driver->start(), ASE_HWMalfunction);
  EXPECT_EQ(driver->stop(), ASE_InvalidMode);  // never left Idle
  startRunning();
  card.device.replyOnce(IOCTL_VV_STOP, {false, 0, {}, {}});
  EXPECT_EQ(driver->stop(), ASE_HWMalfunction);
  EXPECT_EQ(driver->stop(), ASE_InvalidMode);  // Idle all the same
}

TEST_F(StreamTest, TheFirstSwitchIsHalfZeroAtPositionZero) {
  card.status.completedHalves = 0;
  createBuffers();
  ASIOSamples position{1, 1};
  ASIOTimeStamp stamp{1, 1};
  EXPECT_EQ(driver->getSamplePosition(&position, &stamp), ASE_OK);  // Idle: zeros
  EXPECT_EQ(joined(position), 0u);
  EXPECT_EQ(joined(stamp), 0u);

  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_TRUE(card.completeHalf(1, 500, 7));  // half 1 first: not handed on
  EXPECT_TRUE(host.switches().empty());
  ASSERT_TRUE(card.completeHalf(0, 564, 4294967));
  auto switches = host.switches();
  ASSERT_EQ(switches.size(), 1u);
  EXPECT_EQ(switches[0].index, 0);
  EXPECT_FALSE(switches[0].timeInfo);
  EXPECT_EQ(switches[0].positionResult, ASE_OK);  // getSamplePosition inside the callback
  EXPECT_EQ(joined(switches[0].position), 0u);
  EXPECT_EQ(joined(switches[0].stamp), 4294967ULL * 1000000ULL);
}

TEST_F(StreamTest, TimeInfoModeUsesTimeInfoAfterTheFirstSwitch) {
  createBuffers();
  startRunning(1000);
  ASSERT_TRUE(card.completeHalf(1, 1064, 6));
  ASSERT_TRUE(card.completeHalf(0, 1128, 7));
  auto switches = host.switches();
  ASSERT_EQ(switches.size(), 3u);
  EXPECT_FALSE(switches[0].timeInfo);
  EXPECT_TRUE(switches[1].timeInfo);
  EXPECT_EQ(switches[1].index, 1);
  EXPECT_EQ(joined(switches[1].passedPosition), 64u);
  EXPECT_EQ(joined(switches[1].position), 64u);
  EXPECT_EQ(switches[2].index, 0);
  EXPECT_EQ(joined(switches[2].position), 128u);
  EXPECT_EQ(joined(switches[2].stamp), 7000000u);

  // A new start begins again with bufferSwitch at position 0.
  ASSERT_EQ(driver->stop(), ASE_OK);
  startRunning(50000, 9);
  switches = host.switches();
  ASSERT_EQ(switches.size(), 4u);
  EXPECT_FALSE(switches[3].timeInfo);
  EXPECT_EQ(joined(switches[3].position), 0u);
}

TEST_F(StreamTest, AHostWithoutTimeInfoGetsBufferSwitchOnly) {
  host.supportsTimeInfo = 0;
  createBuffers();
  startRunning();
  ASSERT_TRUE(card.completeHalf(1, 1064, 6));
  auto switches = host.switches();
  ASSERT_EQ(switches.size(), 2u);
  EXPECT_FALSE(switches[1].timeInfo);
  EXPECT_EQ(switches[1].index, 1);
}

TEST_F(StreamTest, PositionAcrossTheDriverCountWrapAndTheLowWordWrap) {
  createBuffers();
  startRunning(0xFFFFFF00u);
  ASSERT_TRUE(card.completeHalf(1, 0x00000100u, 6));  // the driver's count wraps
  EXPECT_EQ(joined(host.switches().back().position), 512u);

  ASSERT_TRUE(card.completeHalf(0, 0xFFFFFE00u, 7));  // +0xFFFFFD00
  EXPECT_EQ(joined(host.switches().back().position), 0xFFFFFF00u);
  ASSERT_TRUE(card.completeHalf(1, 0x00000100u, 8));  // +0x300: the low word wraps
  EXPECT_EQ(joined(host.switches().back().position), 0x100000200ULL);
}

TEST_F(StreamTest, RateChangesReachTheHostAfterTheSwitchWithoutTheLock) {
  createBuffers();
  startRunning();
  host.streamLock = &driver->stream->lock;
  ASSERT_TRUE(card.completeHalf(1, 1064, 6, 44100, 1));
  EXPECT_EQ(host.rateChanges(), std::vector<double>{44100.0});
  EXPECT_EQ(host.switchesAtRateChange, 2u);
  EXPECT_FALSE(host.lockHeldDuringRateChange);
  // A rate word without the changed flag is no change.
  ASSERT_TRUE(card.completeHalf(0, 1128, 7, 48000, 0));
  EXPECT_EQ(host.rateChanges().size(), 1u);
}

TEST_F(StreamTest, AWakeWithoutANewHalfHandsNothingOn) {
  createBuffers();
  startRunning();
  ASSERT_TRUE(card.wake(96000, 1));
  EXPECT_EQ(host.switches().size(), 1u);
  EXPECT_EQ(host.rateChanges(), std::vector<double>{96000.0});
  ASSERT_TRUE(card.completeHalf(1, 1064, 6));
  EXPECT_EQ(host.switches().size(), 2u);
}

TEST_F(StreamTest, NoBufferSwitchFailsTheStream) {
  ASIOCallbacks callbacks = host.callbacks();
  callbacks.bufferSwitch = nullptr;
  createBuffers(callbacks);
  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_TRUE(card.completeHalf(0, 0, 1));
  EXPECT_TRUE(host.switches().empty());
  ASIOSamples position;
  ASIOTimeStamp stamp;
  EXPECT_EQ(driver->getSamplePosition(&position, &stamp), ASE_HWMalfunction);
  EXPECT_EQ(driver->start(), ASE_HWMalfunction);  // final
}

TEST_F(StreamTest, DisposeBuffersNeitherStopsNorSends) {
  createBuffers();
  startRunning();
  size_t sent = card.device.requests().size();
  EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
  EXPECT_EQ(card.device.requests().size(), sent);
  ASSERT_TRUE(card.completeHalf(1, 1064, 6));
  EXPECT_EQ(host.switches().size(), 2u);
  EXPECT_EQ(driver->stop(), ASE_InvalidMode);  // no buffers any more
}

TEST_F(StreamTest, DestroyingWhileStreamingEndsTheThread) {
  createBuffers();
  startRunning();
  ASSERT_TRUE(card.completeHalf(1, 1064, 6));
  auto done = std::async(std::launch::async, [&] { driver.release(); });
  EXPECT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(card.device.blockedCount(IOCTL_VV_WAIT_HALF_BUFFER), 0u);
  EXPECT_EQ(card.device.openCount(), card.device.closedCount());
  EXPECT_EQ(card.sent(IOCTL_VV_STOP), 1u);  // the destructor stops a running stream
}

TEST_F(StreamTest, AWorkerStuckInTheHostDoesNotHoldUpShutdown) {
  createBuffers();
  startRunning();
  host.blockInRateChange = true;
  ASSERT_TRUE(card.workerWaiting());
  card.status.currentHalf = 0;
  card.status.completedHalves++;
  card.status.halves[1].sampleCount = 1064;
  ASSERT_TRUE(card.device.complete(IOCTL_VV_WAIT_HALF_BUFFER, {true, -1, {44100, 1}, {}}));
  for (int i = 0; i < 1000 && host.rateChanges().empty(); i++) Sleep(10);
  ASSERT_EQ(host.rateChanges().size(), 1u);
  // The worker never comes back from the host; shutdown returns all the same and leaves it.
  auto done = std::async(std::launch::async, [&] { driver.release(); });
  EXPECT_EQ(done.wait_for(std::chrono::seconds(30)), std::future_status::ready);
}

}  // namespace
