#include "thread_object.h"

#include <vexa/apc_queue.h>
#include <vexa/cancellable_wait.h>

#include <errno.h>
#include <poll.h>
#include <sched.h>
#include <stdint.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <vector>

namespace vexa::platform {
namespace {

bool enqueue(ThreadState& state, PAPCFUNC function, ULONG_PTR data) {
  std::lock_guard<std::mutex> guard(state.lock);
  if (!state.alive) return false;
  state.apcs.push_back({function, data});
  state.apcArrived.notify_all();
  // A thread queuing for itself is not waiting.
  if (state.wakeDescriptor >= 0 && state.id != currentThreadId()) {
    uint64_t one = 1;
    (void)!write(state.wakeDescriptor, &one, sizeof one);
  }
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

int64_t monotonicMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// One look at the wake descriptor and the sources, for up to `milliseconds` (-1: no limit).
// Poll is a cancellation point, so TerminateThread ends a thread waiting here at once.
[[gnu::no_sanitize_address, gnu::noinline]] void pollSources(
    int wakeDescriptor, const std::vector<std::shared_ptr<ApcSource>>& sources, int milliseconds) {
  std::vector<pollfd> watched(1 + sources.size());
  watched[0] = {wakeDescriptor, POLLIN, 0};
  for (size_t i = 0; i < sources.size(); ++i) watched[1 + i] = {sources[i]->descriptor(), POLLIN, 0};
  if (poll(watched.data(), watched.size(), milliseconds) <= 0) return;
  if (watched[0].revents) {
    uint64_t count;
    (void)!read(wakeDescriptor, &count, sizeof count);
  }
  for (size_t i = 0; i < sources.size(); ++i)
    if (watched[1 + i].revents) sources[i]->drain();
}

// An alertable wait of a thread that has sources. Returns how long the wait must still go on
// on the queue alone: 0 once a call is queued or the time is up, more when the sources were
// let go meanwhile.
DWORD waitWatchingSources(ThreadState& state, std::unique_lock<std::mutex>& guard,
                          DWORD milliseconds) {
  const int64_t deadline = monotonicMs() + milliseconds;
  for (;;) {
    DWORD left = INFINITE;
    if (milliseconds != INFINITE) {
      const int64_t remaining = deadline - monotonicMs();
      left = remaining > 0 ? DWORD(remaining) : 0;
    }
    if (!state.apcs.empty()) return 0;
    if (state.sources.empty()) return left;
    std::vector<std::shared_ptr<ApcSource>> sources = state.sources;
    const int wakeDescriptor = state.wakeDescriptor;
    guard.unlock();
    pollSources(wakeDescriptor, sources, left == INFINITE ? -1 : int(left));
    sources.clear();  // a source let go meanwhile goes here, outside the lock
    guard.lock();
    if (left == 0) return 0;
  }
}

}  // namespace

bool queueApcToThread(DWORD threadId, PAPCFUNC function, ULONG_PTR data) {
  if (!function) return false;
  auto state = findThreadState(threadId);
  return state && enqueue(*state, function, data);
}

bool watchApcSource(DWORD threadId, std::shared_ptr<ApcSource> source) {
  auto state = findThreadState(threadId);
  if (!state || !source) return false;
  std::lock_guard<std::mutex> guard(state->lock);
  if (!state->alive) return false;
  if (state->wakeDescriptor < 0) {
    state->wakeDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->wakeDescriptor < 0) return false;
  }
  state->sources.push_back(std::move(source));
  return true;
}

void unwatchApcSource(DWORD threadId, const ApcSource* source) {
  auto state = findThreadState(threadId);
  if (!state) return;
  std::shared_ptr<ApcSource> unwatched;  // let go after the lock
  std::lock_guard<std::mutex> guard(state->lock);
  for (auto it = state->sources.begin(); it != state->sources.end(); ++it) {
    if (it->get() != source) continue;
    unwatched = std::move(*it);
    state->sources.erase(it);
    return;
  }
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
    DWORD wait = dwMilliseconds;
    if (!state->sources.empty()) wait = vexa::platform::waitWatchingSources(*state, guard, wait);
    if (!queued() && wait != 0) {
      if (wait == INFINITE)
        vexa::platform::waitFor(state->apcArrived, guard, queued);
      else
        vexa::platform::waitFor(state->apcArrived, guard, wait, queued);
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
