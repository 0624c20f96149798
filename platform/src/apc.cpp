#include "thread_object.h"

#include <vexa/apc_queue.h>
#include <vexa/cancellable_wait.h>

#include <errno.h>
#include <sched.h>
#include <time.h>

namespace vexa::platform {
namespace {

bool enqueue(ThreadState& state, PAPCFUNC function, ULONG_PTR data) {
  std::lock_guard<std::mutex> guard(state.lock);
  if (!state.alive) return false;
  state.apcs.push_back({function, data});
  state.apcArrived.notify_all();
  return true;
}

// A plain sleep; it is a cancellation point, so TerminateThread ends a sleeping thread at once.
[[gnu::no_sanitize_address, gnu::noinline]] void sleepPlain(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) {
      timespec day{86400, 0};
      nanosleep(&day, nullptr);
    }
  }
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += milliseconds / 1000;
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

// Runs a batch of calls in order. Should one of them leave by an exception (or the thread be
// terminated inside one), the calls not yet run go back to the front of the queue.
class ApcBatch {
public:
  ApcBatch(ThreadState& state, std::deque<QueuedApc>&& calls)
      : state_(state), calls_(std::move(calls)) {}
  ApcBatch(const ApcBatch&) = delete;
  ApcBatch& operator=(const ApcBatch&) = delete;
  ~ApcBatch() {
    if (calls_.empty()) return;
    std::lock_guard<std::mutex> guard(state_.lock);
    if (state_.alive) state_.apcs.insert(state_.apcs.begin(), calls_.begin(), calls_.end());
  }
  void run() {
    while (!calls_.empty()) {
      QueuedApc call = calls_.front();
      calls_.pop_front();
      call.function(call.data);
    }
  }

private:
  ThreadState& state_;
  std::deque<QueuedApc> calls_;
};

}  // namespace

bool queueApcToThread(DWORD threadId, PAPCFUNC function, ULONG_PTR data) {
  if (!function) return false;
  auto state = findThreadState(threadId);
  return state && enqueue(*state, function, data);
}

}  // namespace vexa::platform

extern "C" DWORD WINAPI QueueUserAPC(PAPCFUNC pfnAPC, HANDLE hThread, ULONG_PTR dwData) {
  if (!pfnAPC) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::shared_ptr<vexa::platform::ThreadState> state;
  if (vexa::platform::isCurrentThreadPseudoHandle(hThread)) {
    state = vexa::platform::currentThreadState();
  } else {
    auto object = vexa::platform::lookupHandleAs<vexa::platform::ThreadObject>(hThread);
    if (!object) return 0;
    state = object->state;
  }
  if (!vexa::platform::enqueue(*state, pfnAPC, dwData)) {
    // The thread has ended; its queue went with it.
    SetLastError(ERROR_GEN_FAILURE);
    return 0;
  }
  return 1;
}

extern "C" DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL bAlertable) {
  if (!bAlertable) {
    vexa::platform::sleepPlain(dwMilliseconds);
    return 0;
  }
  auto state = vexa::platform::currentThreadState();
  std::deque<vexa::platform::QueuedApc> calls;
  {
    std::unique_lock<std::mutex> guard(state->lock);
    auto queued = [&state] { return !state->apcs.empty(); };
    if (!queued() && dwMilliseconds != 0) {
      if (dwMilliseconds == INFINITE)
        vexa::platform::waitFor(state->apcArrived, guard, queued);
      else
        vexa::platform::waitFor(state->apcArrived, guard, dwMilliseconds, queued);
    }
    // Only what is queued now runs: a call that queues another cannot keep this sleep going.
    calls.swap(state->apcs);
  }
  if (calls.empty()) {
    if (dwMilliseconds == 0) sched_yield();
    return 0;
  }
  vexa::platform::ApcBatch batch(*state, std::move(calls));
  batch.run();
  return WAIT_IO_COMPLETION;
}
