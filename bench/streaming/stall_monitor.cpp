// The machine's own stalls beside a streaming run, measured the way cyclictest measures wake-up
// latency: one thread per processor, pinned to it, at the streaming threads' real-time
// priority, sleeps to an absolute deadline and notes every wake-up that came late. A streaming
// thread kept off the processor for longer than a half period loses a half whatever its own
// code does, so such stalls are the losses the machine explains.
//
// The threads wake twice per half period: at one wake-up per period a stall longer than a
// period can fall between two wake-ups and show as a lateness of less than a period. At half a
// period, every stall longer than a period makes some wake-up more than half a period late, and
// a wake-up late by L tells of a stall of at least L and at most L plus half a period.
//   stall_monitor --period-ns N [--priority P] [--threshold-ns T]
// (N is the clients' half period; wake-ups later than T are noted, by default N / 2.)
// Runs until SIGTERM or SIGINT, then prints one line per stall, "STALL cpu=C due_ns=D woke_ns=W"
// (CLOCK_MONOTONIC, the time base of the hosts' callback records), and a summary line
// "MONITOR wakeups=N stalls=S max_late_us=M realtime=0|1 step_ns=H".
// Built natively by bench/streaming/run.
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "monotonic_clock.h"

namespace {

struct Stall {
  int64_t dueNs;
  int64_t wokeNs;
};

// Room made before the run: the measuring threads never allocate.
constexpr size_t kMostStalls = 1 << 16;

struct Watch {
  int cpu = 0;
  int64_t periodNs = 0;  // between wake-ups
  int64_t thresholdNs = 0;
  int priority = 0;
  bool realtime = false;
  uint64_t wakeups = 0;
  int64_t maxLateNs = 0;
  std::vector<Stall> stalls;
  pthread_t thread{};
};

std::atomic<bool> stopping{false};

void onSignal(int) { stopping.store(true); }

timespec timespecOf(int64_t ns) { return timespec{time_t(ns / 1000000000), long(ns % 1000000000)}; }

void* watch(void* argument) {
  auto* w = static_cast<Watch*>(argument);
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(w->cpu, &set);
  pthread_setaffinity_np(pthread_self(), sizeof set, &set);
  sched_param param{};
  param.sched_priority = w->priority;
  w->realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;

  int64_t due = monotonicNs() + w->periodNs;
  while (!stopping.load(std::memory_order_relaxed)) {
    timespec at = timespecOf(due);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0 &&
           !stopping.load(std::memory_order_relaxed)) {
    }
    int64_t woke = monotonicNs();
    int64_t late = woke - due;
    ++w->wakeups;
    if (late > w->maxLateNs) w->maxLateNs = late;
    if (late > w->thresholdNs && w->stalls.size() < kMostStalls) w->stalls.push_back({due, woke});
    // After a stall the next deadline is the next one still ahead, as cyclictest does: the
    // deadlines passed meanwhile are one stall, not many.
    due += w->periodNs;
    while (due <= woke) due += w->periodNs;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t periodNs = 0;
  int64_t thresholdNs = 0;
  int priority = 50;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--period-ns") == 0) periodNs = atoll(argv[i + 1]);
    else if (strcmp(argv[i], "--priority") == 0) priority = atoi(argv[i + 1]);
    else if (strcmp(argv[i], "--threshold-ns") == 0) thresholdNs = atoll(argv[i + 1]);
  }
  if (periodNs <= 0) {
    fprintf(stderr, "usage: stall_monitor --period-ns N [--priority P] [--threshold-ns T]\n");
    return 2;
  }
  struct sigaction action{};
  action.sa_handler = onSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  std::vector<Watch> watches(static_cast<size_t>(cpus > 0 ? cpus : 1));
  for (size_t i = 0; i < watches.size(); i++) {
    watches[i].cpu = static_cast<int>(i);
    watches[i].periodNs = periodNs / 2;
    watches[i].thresholdNs = thresholdNs > 0 ? thresholdNs : periodNs / 2;
    watches[i].priority = priority;
    watches[i].stalls.reserve(kMostStalls);
  }
  // A page fault in the loop would be a stall of our own making.
  mlockall(MCL_CURRENT | MCL_FUTURE);
  for (auto& w : watches)
    if (pthread_create(&w.thread, nullptr, watch, &w) != 0) {
      fprintf(stderr, "stall_monitor: cannot start a thread\n");
      return 1;
    }
  for (auto& w : watches) pthread_join(w.thread, nullptr);

  uint64_t wakeups = 0;
  size_t stalls = 0;
  int64_t maxLate = 0;
  bool realtime = true;
  for (const auto& w : watches) {
    for (const Stall& s : w.stalls)
      printf("STALL cpu=%d due_ns=%lld woke_ns=%lld\n", w.cpu, static_cast<long long>(s.dueNs),
             static_cast<long long>(s.wokeNs));
    wakeups += w.wakeups;
    stalls += w.stalls.size();
    if (w.maxLateNs > maxLate) maxLate = w.maxLateNs;
    realtime = realtime && w.realtime;
  }
  printf("MONITOR wakeups=%llu stalls=%zu max_late_us=%.1f realtime=%d step_ns=%lld\n",
         static_cast<unsigned long long>(wakeups), stalls, static_cast<double>(maxLate) / 1e3,
         realtime ? 1 : 0, static_cast<long long>(periodNs / 2));
  return 0;
}
