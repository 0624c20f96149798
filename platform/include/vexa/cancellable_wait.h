// Condition waits for code that TerminateThread may end while it waits (they are cancellation
// points). They wait through pthreads directly and carry no address-sanitizer redzones: a thread
// unwound from inside one must leave no stale stack poisoning behind it.
#pragma once

#include <pthread.h>
#include <time.h>

#include <condition_variable>
#include <mutex>

namespace vexa::platform {

// Waits, with `lock` held on entry and on return, until `ready()` holds.
template <typename Ready>
[[gnu::no_sanitize_address, gnu::noinline]] void waitFor(std::condition_variable& condition,
                                                         std::unique_lock<std::mutex>& lock,
                                                         Ready ready) {
  while (!ready()) pthread_cond_wait(condition.native_handle(), lock.mutex()->native_handle());
}

// As above, giving up after `milliseconds` of the monotonic clock; returns ready().
template <typename Ready>
[[gnu::no_sanitize_address, gnu::noinline]] bool waitFor(std::condition_variable& condition,
                                                         std::unique_lock<std::mutex>& lock,
                                                         unsigned long milliseconds, Ready ready) {
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (!ready()) {
    if (pthread_cond_clockwait(condition.native_handle(), lock.mutex()->native_handle(),
                               CLOCK_MONOTONIC, &deadline) != 0 &&
        !ready()) {
      // Timed out, or an error that waiting again would only repeat.
      return false;
    }
  }
  return true;
}

}  // namespace vexa::platform
