// getrusage(RUSAGE_SELF) for the Windows build of the host tools, which read it for their CPU
// figures: the process's user and kernel times from GetProcessTimes. Only that build has this
// folder on its include path, so the host sources stay the same on both systems.
#pragma once

#include <windows.h>
#include <sys/time.h>

#define RUSAGE_SELF 0

struct rusage {
  struct timeval ru_utime;
  struct timeval ru_stime;
};

inline void vexaFileTimeToTimeval(const FILETIME& time, struct timeval* value) {
  // FILETIME counts 100 ns steps.
  unsigned long long steps =
      (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  value->tv_sec = static_cast<long>(steps / 10000000ull);
  value->tv_usec = static_cast<long>(steps % 10000000ull / 10);
}

inline int getrusage(int who, struct rusage* usage) {
  *usage = {};
  FILETIME created, exited, kernel, user;
  if (who != RUSAGE_SELF ||
      !GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
    return -1;
  vexaFileTimeToTimeval(user, &usage->ru_utime);
  vexaFileTimeToTimeval(kernel, &usage->ru_stime);
  return 0;
}
