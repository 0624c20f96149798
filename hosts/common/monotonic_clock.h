// Nanoseconds on the monotonic clock: the time base of the card's clock, the hosts' callback
// records and the benchmark probes, so that their figures compare.
#pragma once

#include <stdint.h>
#include <time.h>

inline int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}
