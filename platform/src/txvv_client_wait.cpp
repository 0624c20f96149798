// The half-buffer wait on the shared wait page: no message to txvvd and back, only the
// doorbell the card's clock thread rings when a half completes while this handle sleeps.
#include "txvv_client.h"

#include "../../driverlib/device_records.h"

#include <errno.h>
#include <poll.h>
#include <string.h>
#include <time.h>

namespace vexa::platform::txvv_client {

namespace wire = txvv::wire;

namespace {

// How often a sleeping wait looks whether txvvd is still there (nothing rings for a dead one).
constexpr long kLivenessCheckMs = 250;

// Counts the thread among the cell's sleepers, until it returns or is terminated.
class Sleeping {
public:
  explicit Sleeping(wire::WaitCell& cell) : cell_(cell) { cell_.sleepers.fetch_add(1); }
  ~Sleeping() { cell_.sleepers.fetch_sub(1); }
  Sleeping(const Sleeping&) = delete;
  Sleeping& operator=(const Sleeping&) = delete;

private:
  wire::WaitCell& cell_;
};

timespec monotonicIn(long milliseconds) {
  timespec at;
  clock_gettime(CLOCK_MONOTONIC, &at);
  at.tv_nsec += milliseconds * 1000000L;
  at.tv_sec += at.tv_nsec / 1000000000L;
  at.tv_nsec %= 1000000000L;
  return at;
}

}  // namespace

// The primary channel carries nothing after the welcome: anything readable is the hang-up.
bool Handle::daemonGone() const {
  pollfd lifeline{primary_, POLLIN | POLLRDHUP, 0};
  return poll(&lifeline, 1, 0) != 0;
}

bool Handle::waitForHalf(void* out, DWORD* returned) {
  if (hungUp_.load()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  auto& page = *reinterpret_cast<wire::WaitPage*>(waitPage_->base());
  wire::WaitCell& cell = *waitCell_;
  uint32_t seen;
  if (!wire::claimOwedHalf(page, cell, &seen)) {
    // Counted before `halves` is read again: the clock thread then either sees a sleeper and
    // rings, or this thread sees the new half.
    Sleeping sleeping(cell);
    while (page.halves.load() == seen) {
      if (hungUp_.load()) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return false;
      }
      timespec deadline = monotonicIn(kLivenessCheckMs);
      // A cancellation point: TerminateThread ends a thread asleep here.
      if (sem_clockwait(&cell.doorbell, CLOCK_MONOTONIC, &deadline) == 0 || errno == EINTR)
        continue;
      if (errno != ETIMEDOUT) {  // a doorbell that cannot be waited on: fail, never spin
        SetLastError(ERROR_GEN_FAILURE);
        return false;
      }
      if (daemonGone()) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return false;
      }
    }
    wire::recordWake(page, cell, seen);
  }
  uint32_t words[2];
  wire::waitAnswer(page, cell, words);
  memcpy(out, words, sizeof words);
  *returned = sizeof words;
  return true;
}

}  // namespace vexa::platform::txvv_client
