#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

bool otherThreadCanEnter(CRITICAL_SECTION& section) {
  bool entered = false;
  std::thread([&] {
    entered = TryEnterCriticalSection(&section);
    if (entered) LeaveCriticalSection(&section);
  }).join();
  return entered;
}

}  // namespace

TEST(CriticalSection, IsRecursiveAndKeepsOtherThreadsOut) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));
  EXPECT_FALSE(otherThreadCanEnter(section));
  LeaveCriticalSection(&section);
  LeaveCriticalSection(&section);
  EXPECT_FALSE(otherThreadCanEnter(section));
  LeaveCriticalSection(&section);
  EXPECT_TRUE(otherThreadCanEnter(section));
  DeleteCriticalSection(&section);
}

TEST(CriticalSection, ALeaveByAThreadThatDoesNotOwnItChangesNothing) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  std::thread([&] { LeaveCriticalSection(&section); }).join();
  EXPECT_FALSE(otherThreadCanEnter(section));
  LeaveCriticalSection(&section);
  EXPECT_TRUE(otherThreadCanEnter(section));
  DeleteCriticalSection(&section);
}

TEST(CriticalSection, GuardsSharedDataUnderContentionEvenWhenZeroFilled) {
  static_assert(sizeof(CRITICAL_SECTION) == 24);
  CRITICAL_SECTION section = {};
  long total = 0;
  LONG volatile counted = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        EnterCriticalSection(&section);
        total = total + 1;
        LeaveCriticalSection(&section);
        InterlockedIncrement(&counted);
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(total, 80000);
  EXPECT_EQ(counted, 80000);
  DeleteCriticalSection(&section);
  DeleteCriticalSection(&section);  // a second delete is harmless
}

TEST(Interlocked, ReturnTheValuesWin32Returns) {
  LONG volatile value = 0;
  EXPECT_EQ(InterlockedIncrement(&value), 1);
  EXPECT_EQ(InterlockedDecrement(&value), 0);
  EXPECT_EQ(InterlockedDecrement(&value), -1);
  EXPECT_EQ(InterlockedExchange(&value, 5), -1);
  EXPECT_EQ(InterlockedCompareExchange(&value, 8, 4), 5);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(InterlockedCompareExchange(&value, 8, 5), 5);
  EXPECT_EQ(value, 8);
  value = 0x7FFFFFFF;
  EXPECT_EQ(InterlockedIncrement(&value), static_cast<LONG>(0x80000000));
}

TEST(Ticks, AdvanceAtLeastAsFarAsASleep) {
  DWORD tick = GetTickCount();
  DWORD time = timeGetTime();
  Sleep(50);
  // Unsigned differences, as callers must take them: the counters wrap after 49.7 days.
  EXPECT_GE(GetTickCount() - tick, 49u);
  EXPECT_GE(timeGetTime() - time, 49u);
}
