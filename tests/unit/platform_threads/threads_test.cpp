#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

constexpr DWORD kGenerous = 30000;

DWORD WINAPI returnsParameter(LPVOID parameter) {
  return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(parameter));
}

DWORD WINAPI waitsForGate(LPVOID parameter) {
  auto* gate = static_cast<std::atomic<bool>*>(parameter);
  while (!*gate) Sleep(1);
  return 42;
}

DWORD WINAPI exitsEarly(LPVOID) {
  ExitThread(9);
  return 0;
}

DWORD WINAPI recordsItsId(LPVOID parameter) {
  *static_cast<DWORD*>(parameter) = GetCurrentThreadId();
  return 0;
}

DWORD WINAPI raisesItsPriority(LPVOID) {
  if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) return 1;
  return GetThreadPriority(GetCurrentThread()) == THREAD_PRIORITY_TIME_CRITICAL ? 0 : 2;
}

// Each of these never ends by itself; the flag shows that its stack was unwound when it was
// terminated.
struct SetsOnUnwind {
  std::atomic<bool>* flag;
  ~SetsOnUnwind() { *flag = true; }
};

std::atomic<bool> unwound{false};
HANDLE neverEndingThread = nullptr;

DWORD WINAPI sleepsForever(LPVOID) {
  SetsOnUnwind mark{&unwound};
  Sleep(INFINITE);
  return 0;
}

DWORD WINAPI sleepsAlertablyForever(LPVOID) {
  SetsOnUnwind mark{&unwound};
  for (;;) SleepEx(INFINITE, TRUE);
}

DWORD WINAPI waitsForAThreadThatNeverEnds(LPVOID) {
  SetsOnUnwind mark{&unwound};
  WaitForSingleObject(neverEndingThread, INFINITE);
  return 0;
}

}  // namespace

TEST(Threads, RunWithTheirParameterAndKeepTheirExitCode) {
  DWORD id = 0;
  HANDLE thread =
      CreateThread(nullptr, 0, returnsParameter, reinterpret_cast<LPVOID>(1234), 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  ASSERT_EQ(WaitForSingleObject(thread, kGenerous), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "an ended thread stays signalled";
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 1234u);
  EXPECT_TRUE(CloseHandle(thread));

  EXPECT_FALSE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
  EXPECT_FALSE(CloseHandle(thread));
}

std::atomic<bool> closedGate{false};
std::atomic<bool> closedDone{false};

DWORD WINAPI endsAfterItsHandleIsClosed(LPVOID) {
  while (!closedGate) Sleep(1);
  closedDone = true;
  return 0;
}

TEST(Threads, ClosingTheHandleDoesNotEndTheThread) {
  auto& gate = closedGate;
  auto& done = closedDone;
  HANDLE thread = CreateThread(nullptr, 0, endsAfterItsHandleIsClosed, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  gate = true;
  for (DWORD waited = 0; !done && waited < kGenerous; waited += 5) Sleep(5);
  EXPECT_TRUE(done);
}

TEST(Threads, ExitThreadEndsWithItsCode) {
  HANDLE thread = CreateThread(nullptr, 0, exitsEarly, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, kGenerous), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 9u);
  CloseHandle(thread);
}

TEST(Threads, TerminateEndsAThreadThatDoesNotEndWithTheGivenCode) {
  std::atomic<bool> gate{false};
  neverEndingThread = CreateThread(nullptr, 0, waitsForGate, &gate, 0, nullptr);
  ASSERT_NE(neverEndingThread, nullptr);

  struct Case {
    const char* name;
    LPTHREAD_START_ROUTINE routine;
    DWORD code;
  };
  for (const Case& c : {Case{"Sleep", sleepsForever, 1}, Case{"SleepEx", sleepsAlertablyForever, 7},
                        Case{"WaitForSingleObject", waitsForAThreadThatNeverEnds, 0xDEAD}}) {
    SCOPED_TRACE(c.name);
    unwound = false;
    HANDLE thread = CreateThread(nullptr, 0, c.routine, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 50), WAIT_TIMEOUT);
    EXPECT_TRUE(TerminateThread(thread, c.code));
    ASSERT_EQ(WaitForSingleObject(thread, kGenerous), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, c.code);
    EXPECT_TRUE(unwound) << "the thread's stack is unwound, so what it held is released";

    EXPECT_TRUE(TerminateThread(thread, 99)) << "terminating an ended thread changes nothing";
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, c.code);
    CloseHandle(thread);
  }

  gate = true;
  EXPECT_EQ(WaitForSingleObject(neverEndingThread, kGenerous), WAIT_OBJECT_0);
  CloseHandle(neverEndingThread);
}

TEST(Threads, RefuseWhatTheyCannotDo) {
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateThread(nullptr, 0, returnsParameter, nullptr, CREATE_SUSPENDED, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

  HANDLE bogus = reinterpret_cast<HANDLE>(0x12345678);
  DWORD code = 0;
  EXPECT_FALSE(TerminateThread(bogus, 1));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(GetExitCodeThread(bogus, &code));
  EXPECT_FALSE(SetThreadPriority(bogus, THREAD_PRIORITY_NORMAL));
  EXPECT_EQ(GetThreadPriority(bogus), THREAD_PRIORITY_ERROR_RETURN);
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);

  EXPECT_FALSE(SetThreadPriority(GetCurrentThread(), 7));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(GetExitCodeThread(GetCurrentThread(), nullptr));
}

TEST(Threads, KeepOneStableIdentifierEach) {
  DWORD main = GetCurrentThreadId();
  EXPECT_NE(main, 0u);
  EXPECT_EQ(GetCurrentThreadId(), main);

  DWORD other = 0, otherAgain = 0;
  std::thread([&] {
    other = GetCurrentThreadId();
    otherAgain = GetCurrentThreadId();
  }).join();
  EXPECT_NE(other, 0u);
  EXPECT_NE(other, main);
  EXPECT_EQ(other, otherAgain);

  DWORD reported = 0, seen = 0;
  HANDLE thread = CreateThread(nullptr, 0, recordsItsId, &seen, 0, &reported);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, kGenerous), WAIT_OBJECT_0);
  EXPECT_EQ(seen, reported);
  EXPECT_NE(seen, main);
  EXPECT_NE(seen, other) << "identifiers are not reused";
  CloseHandle(thread);
  EXPECT_NE(GetCurrentProcessId(), 0u);
}

TEST(Threads, AcceptTimeCriticalPriorityAndReportStillActiveWhileRunning) {
  HANDLE thread = CreateThread(nullptr, 0, raisesItsPriority, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, kGenerous), WAIT_OBJECT_0);
  DWORD code = 99;
  GetExitCodeThread(thread, &code);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_NORMAL)) << "an ended thread is no error";
  CloseHandle(thread);

  std::atomic<bool> gate{false};
  thread = CreateThread(nullptr, 0, waitsForGate, &gate, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_NORMAL);
  EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL));
  EXPECT_EQ(GetThreadPriority(thread), THREAD_PRIORITY_TIME_CRITICAL);
  EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_NORMAL));
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);
  gate = true;
  ASSERT_EQ(WaitForSingleObject(thread, kGenerous), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  CloseHandle(thread);
}
