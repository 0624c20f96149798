// The half-buffer wait on the shared wait page: no message to txvvd and back, only the
// doorbell the card's clock thread rings when a half completes while this handle sleeps.
#include "txvv_client.h"

#include "../../driverlib/device_records.h"

#include <errno.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <string.h>

namespace vexa::platform::txvv_client {

namespace wire = txvv::wire;

namespace {

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

// A bare futex wait is no cancellation point of the C library: cancellation is let in for the
// length of the system call, so TerminateThread still ends a thread asleep here at once.
void sleepCancellably(wire::SharedWord& doorbell, uint32_t rung) {
  int previous;
  pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, &previous);
  wire::sleepOnDoorbell(doorbell, rung);
  pthread_setcanceltype(previous, nullptr);
}

}  // namespace

// Every sleeper of the handle counted itself and read the doorbell before it last looked at
// hungUp_: after hungUp_ is set, one ring wakes them all, and each sees it.
void Handle::wakeSleepers() {
  if (!waitCell_) return;
  if (waitCell_->sleepers.load() != 0) wire::ringDoorbell(waitCell_->doorbell);
}

// Nothing rings the doorbell of a daemon that died. Rather than waking every sleeper now and
// then to look (a timer per wait, paid every period), one thread per waiting handle sleeps on
// the primary channel, which carries nothing after the welcome: anything readable is the
// hang-up, of the daemon or of close().
bool Handle::watchLifeline() {
  if (watching_.load()) return true;
  int state;
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!closed_ && !watcher_.joinable()) {
      try {
        watcher_ = std::thread([this] {
          // Started from a streaming thread, it would inherit its real-time priority.
          sched_param normal{};
          pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
          pollfd lifeline{primary_, POLLIN | POLLRDHUP, 0};
          while (poll(&lifeline, 1, -1) < 0 && errno == EINTR) {
          }
          hungUp_.store(true);
          wakeSleepers();
        });
        watching_.store(true);
      } catch (...) {
        // No thread: this handle's waits take the socket, which notices a hang-up itself.
      }
    }
  }
  pthread_setcancelstate(state, nullptr);
  return watching_.load();
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
    // Counted before `halves` and hungUp_ are read again: the clock thread (or close(), or the
    // watcher) then either sees a sleeper and rings, or this thread sees what it did.
    Sleeping sleeping(cell);
    for (;;) {
      uint32_t rung = cell.doorbell.load();
      if (page.halves.load() != seen) break;
      if (hungUp_.load()) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return false;
      }
      sleepCancellably(cell.doorbell, rung);
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
