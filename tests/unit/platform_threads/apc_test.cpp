#include <windows.h>

#include <vexa/apc_queue.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kGenerous = 30000;

struct Ran {
  ULONG_PTR data;
  DWORD threadId;
};
std::mutex ranLock;
std::vector<Ran> ran;

void CALLBACK record(ULONG_PTR data) {
  std::lock_guard<std::mutex> guard(ranLock);
  ran.push_back({data, GetCurrentThreadId()});
}

std::vector<Ran> takeRan() {
  std::lock_guard<std::mutex> guard(ranLock);
  std::vector<Ran> taken;
  taken.swap(ran);
  return taken;
}

void CALLBACK queuesAnother(ULONG_PTR data) {
  record(data);
  QueueUserAPC(record, GetCurrentThread(), data + 1);
}

void CALLBACK throws(ULONG_PTR) { throw std::runtime_error("from a queued call"); }

std::atomic<bool> gate{false};
std::atomic<bool> sleeping{false};

// Waits for the gate, then sleeps alertably; its exit code is what SleepEx returned.
DWORD WINAPI sleepsAlertablyAfterGate(LPVOID) {
  while (!gate) Sleep(1);
  sleeping = true;
  return SleepEx(10 * kGenerous, TRUE);
}

class Apc : public ::testing::Test {
protected:
  void SetUp() override {
    takeRan();
    gate = false;
    sleeping = false;
    SleepEx(0, TRUE);  // nothing left over from an earlier test
    takeRan();
  }
};

}  // namespace

TEST_F(Apc, AlertableSleepRunsItsOwnThreadsCallsInOrder) {
  DWORD main = GetCurrentThreadId();
  DWORD workerId = 0;
  HANDLE worker = CreateThread(nullptr, 0, sleepsAlertablyAfterGate, nullptr, 0, &workerId);
  ASSERT_NE(worker, nullptr);

  ASSERT_TRUE(QueueUserAPC(record, worker, 10));
  ASSERT_TRUE(QueueUserAPC(record, GetCurrentThread(), 1));
  ASSERT_TRUE(vexa::platform::queueApcToThread(main, record, 2));
  EXPECT_EQ(SleepEx(kGenerous, TRUE), WAIT_IO_COMPLETION);
  auto mine = takeRan();
  ASSERT_EQ(mine.size(), 2u) << "the worker's call is not run by this thread";
  EXPECT_EQ(mine[0].data, 1u);
  EXPECT_EQ(mine[1].data, 2u);
  EXPECT_EQ(mine[0].threadId, main);

  gate = true;
  ASSERT_EQ(WaitForSingleObject(worker, kGenerous), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(worker, &code);
  EXPECT_EQ(code, WAIT_IO_COMPLETION);
  auto theirs = takeRan();
  ASSERT_EQ(theirs.size(), 1u);
  EXPECT_EQ(theirs[0].data, 10u);
  EXPECT_EQ(theirs[0].threadId, workerId);

  EXPECT_FALSE(QueueUserAPC(record, worker, 11)) << "the queue ended with its thread";
  EXPECT_FALSE(vexa::platform::queueApcToThread(workerId, record, 11));
  CloseHandle(worker);
}

TEST_F(Apc, NothingRunsOutsideAnAlertableSleep) {
  EXPECT_EQ(SleepEx(20, TRUE), 0u) << "times out with nothing queued";
  EXPECT_EQ(SleepEx(0, TRUE), 0u);

  ASSERT_TRUE(QueueUserAPC(record, GetCurrentThread(), 5));
  EXPECT_EQ(SleepEx(10, FALSE), 0u);
  Sleep(10);
  EXPECT_TRUE(takeRan().empty());
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(takeRan().size(), 1u);
}

TEST_F(Apc, AnArrivingCallEndsTheSleepEarly) {
  HANDLE worker = CreateThread(nullptr, 0, sleepsAlertablyAfterGate, nullptr, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  gate = true;
  while (!sleeping) Sleep(1);
  Sleep(20);
  ASSERT_TRUE(QueueUserAPC(record, worker, 3));
  ASSERT_EQ(WaitForSingleObject(worker, kGenerous), WAIT_OBJECT_0)
      << "the sleep lasts far longer than this wait unless the call ends it";
  DWORD code = 0;
  GetExitCodeThread(worker, &code);
  EXPECT_EQ(code, WAIT_IO_COMPLETION);
  CloseHandle(worker);
}

TEST_F(Apc, ReachAThreadNotMadeByCreateThreadByItsIdUntilItEnds) {
  std::atomic<DWORD> id{0};
  std::atomic<bool> go{false};
  DWORD result = 0;
  std::thread other([&] {
    id = GetCurrentThreadId();
    while (!go) Sleep(1);
    result = SleepEx(kGenerous, TRUE);
  });
  while (id == 0) Sleep(1);
  EXPECT_TRUE(vexa::platform::queueApcToThread(id, record, 8));
  go = true;
  other.join();
  EXPECT_EQ(result, WAIT_IO_COMPLETION);
  auto calls = takeRan();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].threadId, id.load());
  EXPECT_FALSE(vexa::platform::queueApcToThread(id, record, 9));
  EXPECT_FALSE(vexa::platform::queueApcToThread(0xFFFFFFF0, record, 9));
  EXPECT_FALSE(vexa::platform::queueApcToThread(GetCurrentThreadId(), nullptr, 9));
}

TEST_F(Apc, ACallQueuedByACallWaitsForTheNextAlertableSleep) {
  ASSERT_TRUE(QueueUserAPC(queuesAnother, GetCurrentThread(), 20));
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(takeRan().size(), 1u);
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  auto second = takeRan();
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].data, 21u);
}

TEST_F(Apc, CallsAfterOneThatThrowsAreKept) {
  ASSERT_TRUE(QueueUserAPC(throws, GetCurrentThread(), 0));
  ASSERT_TRUE(QueueUserAPC(record, GetCurrentThread(), 30));
  EXPECT_THROW(SleepEx(0, TRUE), std::runtime_error);
  EXPECT_TRUE(takeRan().empty());
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  EXPECT_EQ(takeRan().size(), 1u);
}

TEST_F(Apc, BadQueueCallsFailClearly) {
  EXPECT_EQ(QueueUserAPC(nullptr, GetCurrentThread(), 0), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(QueueUserAPC(record, reinterpret_cast<HANDLE>(0x5550), 0), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

namespace {

// A pipe whose bytes become calls: each byte read queues `record` with that byte to the
// draining thread, as the card driver's events channel queues notifications.
class PipeSource : public vexa::platform::ApcSource {
public:
  PipeSource() {
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
      read_ = ends[0];
      write_ = ends[1];
    }
  }
  ~PipeSource() override {
    ::close(read_);
    ::close(write_);
    destroyed = true;
  }
  int descriptor() const override { return read_; }
  void drain() override {
    ++drains;
    unsigned char byte;
    while (read(read_, &byte, 1) == 1)
      if (byte != 0) QueueUserAPC(record, GetCurrentThread(), byte);  // 0 queues nothing
  }
  void send(unsigned char byte) { ASSERT_EQ(write(write_, &byte, 1), 1); }

  static inline std::atomic<bool> destroyed{false};
  std::atomic<int> drains{0};

private:
  int read_ = -1, write_ = -1;
};

}  // namespace

TEST_F(Apc, AWatchedSourceIsDrainedOnlyByItsThreadsAlertableWaits) {
  auto source = std::make_shared<PipeSource>();
  const DWORD self = GetCurrentThreadId();
  ASSERT_TRUE(vexa::platform::watchApcSource(self, source));

  source->send(1);
  Sleep(10);
  EXPECT_EQ(source->drains.load(), 0) << "a plain sleep does not look";
  EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
  auto calls = takeRan();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].data, 1u);
  EXPECT_EQ(calls[0].threadId, self);

  // Bytes sent later end a long sleep; a drain that queues nothing does not.
  std::thread sender([&] {
    Sleep(30);
    source->send(0);
    Sleep(30);
    source->send(2);
  });
  EXPECT_EQ(SleepEx(kGenerous, TRUE), WAIT_IO_COMPLETION);
  sender.join();
  EXPECT_GE(source->drains.load(), 3);
  calls = takeRan();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].data, 2u);

  // Nothing to drain: the sleep times out, and a call queued by another thread still ends it.
  EXPECT_EQ(SleepEx(20, TRUE), 0u);
  std::thread queuer([self] {
    Sleep(30);
    vexa::platform::queueApcToThread(self, record, 3);
  });
  EXPECT_EQ(SleepEx(kGenerous, TRUE), WAIT_IO_COMPLETION);
  queuer.join();
  EXPECT_EQ(takeRan().size(), 1u);

  vexa::platform::unwatchApcSource(self, source.get());
  source->send(4);
  EXPECT_EQ(SleepEx(20, TRUE), 0u) << "an unwatched source is left alone";
  PipeSource::destroyed = false;
  source.reset();
  EXPECT_TRUE(PipeSource::destroyed) << "unwatching let the platform's reference go";
}

DWORD WINAPI watchesAndSleeps(LPVOID parameter) {
  auto* source = static_cast<std::shared_ptr<PipeSource>*>(parameter);
  vexa::platform::watchApcSource(GetCurrentThreadId(), *source);
  sleeping = true;
  return SleepEx(10 * kGenerous, TRUE);
}

TEST_F(Apc, AThreadWatchingASourceEndsAtOnceWhenTerminatedAndLetsTheSourceGo) {
  auto source = std::make_shared<PipeSource>();
  HANDLE worker = CreateThread(nullptr, 0, watchesAndSleeps, &source, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  while (!sleeping) Sleep(1);
  Sleep(20);
  ASSERT_TRUE(TerminateThread(worker, 7));
  ASSERT_EQ(WaitForSingleObject(worker, kGenerous), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(worker, &code);
  EXPECT_EQ(code, 7u);
  CloseHandle(worker);
  PipeSource::destroyed = false;
  source.reset();
  EXPECT_TRUE(PipeSource::destroyed) << "the ended thread's waits no longer hold it";
}
