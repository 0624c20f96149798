#include "device_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>

using namespace devicetest;
using vexa::testing::DeviceDouble;
using vexa::testing::DeviceReply;

namespace {

std::atomic<DWORD> apcThread{0};
std::atomic<ULONG_PTR> apcData{0};

void CALLBACK notified(ULONG_PTR data) {
  apcThread = GetCurrentThreadId();
  apcData = data;
}

// Sends the meter's start request, then waits alertably for a notification.
DWORD WINAPI startsMeterAndWaits(LPVOID device) {
  DWORD bytes = 0;
  DeviceIoControl(static_cast<HANDLE>(device), kMeterStart, nullptr, 0, nullptr, 0, &bytes,
                  nullptr);
  return SleepEx(kGenerous, TRUE);
}

}  // namespace

TEST(DeviceDouble, RepliesAsScriptedAndRecordsEveryRequest) {
  DeviceDouble device;
  device.reply(kGetVersion, DeviceReply{true, -1, {0}, {}});
  device.replyOnce(kGetVersion, DeviceReply{true, 4, {1}, {}});
  device.reply(0x22006C, DeviceReply{true, 661, {}, {}});
  device.reply(0x220068, DeviceReply{false, 4, {0}, {}});
  device.reply(0x220050, DeviceReply{true, 6, {0x11223344}, {0xAA, 0xBB}});
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);

  DWORD word = 0xFFFFFFFF, bytes = 0;
  ASSERT_TRUE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr));
  EXPECT_EQ(word, 1u) << "the one-off reply comes first";
  ASSERT_TRUE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr));
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(bytes, 4u);

  DWORD size = 4096;
  BYTE config[660] = {};
  ASSERT_TRUE(DeviceIoControl(handle, 0x22006C, &size, 4, config, sizeof config, &bytes, nullptr));
  EXPECT_EQ(bytes, 661u) << "a driver's count is passed on unchanged, for callers to judge";

  word = 0xFFFFFFFF;
  EXPECT_FALSE(DeviceIoControl(handle, 0x220068, nullptr, 0, &word, 4, &bytes, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_EQ(word, 0u) << "a failing reply can still write, so callers must look at the result";
  EXPECT_EQ(bytes, 4u);

  BYTE small[5] = {};
  ASSERT_TRUE(DeviceIoControl(handle, 0x220050, nullptr, 0, small, sizeof small, &bytes, nullptr));
  EXPECT_EQ(small[0], 0x44);
  EXPECT_EQ(small[3], 0x11);
  EXPECT_EQ(small[4], 0xAA) << "written only as far as the buffer reaches";

  ASSERT_TRUE(DeviceIoControl(handle, 0x220058, nullptr, 0, nullptr, 0, &bytes, nullptr));
  EXPECT_EQ(bytes, 0u) << "unscripted requests succeed with nothing";

  auto requests = device.requests();
  ASSERT_EQ(requests.size(), 6u);
  EXPECT_EQ(requests[2].code, 0x22006Cu);
  EXPECT_EQ(requests[2].inputWord(0), 4096u);
  EXPECT_EQ(requests[2].outSize, 660u);
  EXPECT_EQ(requests[2].connection, 0);
  EXPECT_EQ(requests[2].threadId, GetCurrentThreadId());
  EXPECT_THROW(requests[2].inputWord(1), std::out_of_range);
  EXPECT_TRUE(requests[0].input.empty());
  EXPECT_EQ(device.count(kGetVersion), 2u);
  CloseHandle(handle);
}

TEST(DeviceDouble, QueuesNotificationsToTheThreadThatSentARequest) {
  DeviceDouble device;
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(device.queueApcToSender(kMeterStart, notified, 1)) << "no sender yet";

  DWORD meterThread = 0;
  HANDLE thread = CreateThread(nullptr, 0, startsMeterAndWaits, handle, 0, &meterThread);
  ASSERT_NE(thread, nullptr);
  for (DWORD waited = 0; device.count(kMeterStart) == 0 && waited < kGenerous; waited += 5)
    Sleep(5);
  EXPECT_EQ(device.lastSender(kMeterStart), meterThread);
  ASSERT_TRUE(device.queueApcToSender(kMeterStart, notified, 0x1234));

  ASSERT_EQ(WaitForSingleObject(thread, kGenerous), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, WAIT_IO_COMPLETION);
  EXPECT_EQ(apcThread.load(), meterThread);
  EXPECT_EQ(apcData.load(), 0x1234u);
  EXPECT_FALSE(device.queueApcToSender(kMeterStart, notified, 1)) << "the sender has ended";
  CloseHandle(thread);
  CloseHandle(handle);
}

TEST(DeviceDouble, HandlesThatOutliveItFailCleanly) {
  auto device = std::make_unique<DeviceDouble>();
  device->blockRequests(kWaitHalfBuffer);
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  Waiter waiter{handle};
  waiter.start();
  ASSERT_TRUE(device->waitForBlocked(kWaitHalfBuffer, 1, kGenerous));

  device.reset();
  ASSERT_TRUE(waiter.ended());
  EXPECT_FALSE(waiter.ok);
  DWORD word = 0, bytes = 0;
  EXPECT_FALSE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr));
  EXPECT_TRUE(CloseHandle(handle));
}
