// Milliseconds of the monotonic clock (time since boot, as on Windows), cut to 32 bits so that
// they wrap after about 49.7 days exactly as the Windows counters do.
#include <windows.h>
#include <mmsystem.h>

#include <time.h>

namespace {

DWORD monotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ULL +
                          static_cast<unsigned long long>(now.tv_nsec) / 1000000ULL;
  return static_cast<DWORD>(ms & 0xFFFFFFFFULL);
}

}  // namespace

extern "C" DWORD WINAPI GetTickCount(void) { return monotonicMilliseconds(); }

extern "C" DWORD WINAPI timeGetTime(void) { return monotonicMilliseconds(); }
