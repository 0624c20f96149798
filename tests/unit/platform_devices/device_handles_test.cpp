#include "device_test_support.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace devicetest;
using vexa::testing::DeviceDouble;
using vexa::testing::DeviceReply;

TEST(CardDriverHandles, OpenOnlyTheCardDriverByItsNameInAnyCase) {
  DeviceDouble device;
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  HANDLE second = openCard("\\\\.\\tx_vv.vxd");
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  EXPECT_NE(second, handle);

  EXPECT_EQ(openCard("\\\\.\\TX_VX.VXD"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(openCard("\\\\.\\TX_VV.VXD2"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(openCard("TX_VV.VXD"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(openCard(""), INVALID_HANDLE_VALUE);
  EXPECT_EQ(openCard(nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateFileA("\\\\.\\TX_VV.VXD", 0, 0, nullptr, 0, 0, nullptr), INVALID_HANDLE_VALUE);

  device.setAvailable(false);
  EXPECT_EQ(openCard(), INVALID_HANDLE_VALUE);
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(device.openCount(), 2u);

  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_TRUE(CloseHandle(second));
  EXPECT_FALSE(CloseHandle(second));
  EXPECT_EQ(device.closedCount(), 2u);
}

TEST(CardDriverHandles, RefuseBadRequestsBeforeTheyReachTheDriver) {
  DeviceDouble device;
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DWORD word = 0, bytes = 77;
  OVERLAPPED overlapped{};

  EXPECT_FALSE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &word, 4, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(DeviceIoControl(handle, kGetVersion, nullptr, 4, &word, 4, &bytes, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(DeviceIoControl(handle, kGetVersion, nullptr, 0, nullptr, 4, &bytes, nullptr));
  EXPECT_FALSE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &word, 4, &bytes, &overlapped));
  EXPECT_FALSE(DeviceIoControl(reinterpret_cast<HANDLE>(0x4444), kGetVersion, nullptr, 0, &word, 4,
                               &bytes, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(
      DeviceIoControl(INVALID_HANDLE_VALUE, kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr));

  Waiter notADevice{GetCurrentThread()};
  HANDLE thread = CreateThread(nullptr, 0, Waiter::run, &notADevice, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_FALSE(DeviceIoControl(thread, kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  WaitForSingleObject(thread, kGenerous);
  CloseHandle(thread);

  EXPECT_TRUE(device.requests().empty());
  CloseHandle(handle);
  EXPECT_FALSE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Many handles at once, past the first thousand, and closed handles that stay refused while
// their slots are used again.
TEST(CardDriverHandles, StayDistinctByTheThousandAndAClosedOneIsNeverAnotherObject) {
  DeviceDouble device;
  device.reply(kGetVersion, DeviceReply{true, -1, {0}, {}});
  constexpr int kHandles = 2500;
  std::set<HANDLE> open, closed;
  for (int round = 0; round < 2; ++round) {
    std::vector<HANDLE> handles;
    for (int i = 0; i < kHandles; ++i) {
      HANDLE handle = openCard();
      ASSERT_NE(handle, INVALID_HANDLE_VALUE);
      auto value = reinterpret_cast<ULONG_PTR>(handle);
      EXPECT_EQ(value % 4, 0u);
      EXPECT_GE(value, 0x100u);
      EXPECT_LT(value, 0x80000000u);
      EXPECT_TRUE(open.insert(handle).second);
      EXPECT_EQ(closed.count(handle), 0u);
      handles.push_back(handle);
    }
    DWORD word = 7, bytes = 0;
    EXPECT_TRUE(
        DeviceIoControl(handles.back(), kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr));
    EXPECT_EQ(word, 0u);
    for (HANDLE handle : handles) {
      EXPECT_TRUE(CloseHandle(handle));
      open.erase(handle);
      closed.insert(handle);
    }
    for (HANDLE handle : {handles.front(), handles[1500], handles.back()}) {
      EXPECT_FALSE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr));
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
      EXPECT_FALSE(CloseHandle(handle));
    }
  }
  EXPECT_EQ(device.closedCount(), 2u * kHandles);
}

TEST(CardDriverHandles, ABlockedRequestDoesNotHoldUpAnotherThreadOnTheSameHandle) {
  DeviceDouble device;
  device.reply(kGetVersion, DeviceReply{true, -1, {0}, {}});
  device.blockRequests(kWaitHalfBuffer);
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);

  Waiter waiter{handle};
  waiter.start();
  ASSERT_TRUE(device.waitForBlocked(kWaitHalfBuffer, 1, kGenerous));

  DWORD version = 0xFFFFFFFF, bytes = 0;
  EXPECT_TRUE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &version, 4, &bytes, nullptr));
  EXPECT_EQ(version, 0u);
  EXPECT_EQ(bytes, 4u);
  EXPECT_FALSE(waiter.ended(0));

  ASSERT_TRUE(device.complete(kWaitHalfBuffer, DeviceReply{true, -1, {48000, 1}, {}}));
  ASSERT_TRUE(waiter.ended());
  EXPECT_TRUE(waiter.ok);
  EXPECT_EQ(waiter.bytes, 8u);
  EXPECT_EQ(waiter.words[0], 48000u);
  EXPECT_EQ(waiter.words[1], 1u);
  EXPECT_FALSE(device.complete(kWaitHalfBuffer, DeviceReply{})) << "nothing is blocked now";
  CloseHandle(handle);
}

TEST(CardDriverHandles, ClosingTheHandleFailsEveryRequestBlockedOnIt) {
  DeviceDouble device;
  device.blockRequests(kWaitHalfBuffer);
  HANDLE handle = openCard();
  HANDLE other = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);

  Waiter first{handle}, second{handle}, onOther{other};
  first.start();
  second.start();
  onOther.start();
  ASSERT_TRUE(device.waitForBlocked(kWaitHalfBuffer, 3, kGenerous));

  EXPECT_TRUE(CloseHandle(handle));
  ASSERT_TRUE(first.ended());
  ASSERT_TRUE(second.ended());
  EXPECT_FALSE(first.ok);
  EXPECT_FALSE(second.ok);
  EXPECT_EQ(first.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
  EXPECT_EQ(device.blockedCount(kWaitHalfBuffer), 1u) << "the other handle's request still waits";
  EXPECT_FALSE(onOther.ended(0));

  EXPECT_TRUE(CloseHandle(other));
  ASSERT_TRUE(onOther.ended());
  EXPECT_FALSE(onOther.ok);
  EXPECT_EQ(device.blockedCount(kWaitHalfBuffer), 0u);
}

TEST(CardDriverHandles, TerminatingAThreadBlockedInARequestEndsItAndReleasesTheRequest) {
  DeviceDouble device;
  device.blockRequests(kWaitHalfBuffer);
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);

  Waiter waiter{handle};
  waiter.start();
  ASSERT_TRUE(device.waitForBlocked(kWaitHalfBuffer, 1, kGenerous));
  EXPECT_EQ(WaitForSingleObject(waiter.thread, 100), WAIT_TIMEOUT);
  EXPECT_TRUE(TerminateThread(waiter.thread, 1));
  ASSERT_TRUE(waiter.ended());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(waiter.thread, &code));
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(device.blockedCount(kWaitHalfBuffer), 0u);

  DWORD word = 0, bytes = 0;
  EXPECT_TRUE(DeviceIoControl(handle, kGetVersion, nullptr, 0, &word, 4, &bytes, nullptr))
      << "the handle stays usable";
  EXPECT_TRUE(CloseHandle(handle));
  EXPECT_EQ(device.closedCount(), 1u);
}
