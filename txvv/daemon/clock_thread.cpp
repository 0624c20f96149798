#include "clock_thread.h"

#include <sched.h>
#include <string.h>
#include <time.h>

#include "monotonic_clock.h"

namespace txvv {

std::string ClockThread::start(int rtPriority) {
  if (pthread_create(&thread_, nullptr, run, this) != 0) return "not running";
  started_ = true;
  if (rtPriority <= 0) return "normal scheduling";
  sched_param param{};
  param.sched_priority = rtPriority;
  int result = pthread_setschedparam(thread_, SCHED_FIFO, &param);
  if (result != 0)
    return std::string("normal scheduling (SCHED_FIFO refused: ") + strerror(result) + ")";
  return "SCHED_FIFO " + std::to_string(rtPriority);
}

void ClockThread::stop() {
  if (!started_) return;
  stopping_ = true;
  service_.stopClock();
  pthread_join(thread_, nullptr);
  started_ = false;
}

void* ClockThread::run(void* self) {
  auto* clock = static_cast<ClockThread*>(self);
  int busy = 0;
  while (!clock->stopping_) {
    int64_t deadline = clock->service_.tick(monotonicNs());
    if (clock->stopping_) break;
    if (clock->service_.sleepUntil(deadline)) {
      busy = 0;
    } else if (++busy >= 1000) {
      // A thousand rounds without sleeping is a fault, not a busy card: at real-time priority
      // it would starve the machine, so give way.
      timespec pause{0, 1000000};
      nanosleep(&pause, nullptr);
      busy = 0;
    }
  }
  return nullptr;
}

}  // namespace txvv
