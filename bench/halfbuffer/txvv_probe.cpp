// txvv_probe: a streaming client of the card that waits on each half and at once waits again,
// time-stamping every wake-up, and reports how steadily the halves arrived.
#include <device_link.h>

#include <dirent.h>
#include <errno.h>
#include <math.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include "monotonic_clock.h"

namespace {

int64_t processCpuNs() {
  timespec ts;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// CPU time of another process: the run times of all its threads, in nanoseconds.
int64_t otherCpuNs(long pid) {
  if (pid <= 0) return -1;
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  int64_t total = 0;
  bool any = false;
  DIR* list = opendir(tasks.c_str());
  if (!list) return -1;
  while (dirent* entry = readdir(list)) {
    if (entry->d_name[0] == '.') continue;
    FILE* stat = fopen((tasks + "/" + entry->d_name + "/schedstat").c_str(), "r");
    if (!stat) continue;
    long long ns = 0;
    if (fscanf(stat, "%lld", &ns) == 1) {
      total += ns;
      any = true;
    }
    fclose(stat);
  }
  closedir(list);
  return any ? total : -1;
}

std::string schedulingOfThisThread() {
  int policy = sched_getscheduler(0);
  sched_param param{};
  sched_getparam(0, &param);
  if (policy == SCHED_FIFO) return "SCHED_FIFO " + std::to_string(param.sched_priority);
  if (policy == SCHED_RR) return "SCHED_RR " + std::to_string(param.sched_priority);
  return "normal";
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  size_t at = size_t(p * double(values.size() - 1) + 0.5);
  std::nth_element(values.begin(), values.begin() + long(at), values.end());
  return values[at];
}

void usage() {
  fputs("Usage: txvv_probe [--rate HZ] [--frames N] [--seconds S] [--daemon-pid PID]\n"
        "                  [--normal-priority]\n"
        "Claims the card's stream with halves of N frames at HZ, waits on every half for S\n"
        "seconds and prints the period, its deviation, the lateness of each wake-up against the\n"
        "ideal grid, missed halves and the CPU per half of this client and of txvvd (PID).\n",
        stderr);
}

bool parseNumber(const char* text, double* value) {
  char* end = nullptr;
  errno = 0;
  *value = strtod(text, &end);
  return errno == 0 && end != text && *end == '\0' && *value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  double rate = 96000, frames = 64, seconds = 5, daemonPid = 0;
  bool realtime = true;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    double* target = option == "--rate"         ? &rate
                     : option == "--frames"     ? &frames
                     : option == "--seconds"    ? &seconds
                     : option == "--daemon-pid" ? &daemonPid
                                                : nullptr;
    if (option == "--normal-priority") {
      realtime = false;
    } else if (target && i + 1 < argc && parseNumber(argv[i + 1], target)) {
      ++i;
    } else {
      usage();
      return 2;
    }
  }

  DeviceLink link;
  OpenResult opened = link.open(DWORD(frames));
  if (opened != Ok) {
    fprintf(stderr, "txvv_probe: the card is %s\n",
            opened == InUse ? "in use" : opened == NotAvailable ? "not available" : "of another version");
    return 1;
  }
  DWORD wanted = DWORD(rate);
  DWORD bytes = 0;
  if (!deviceRequest(link.handle, IOCTL_VV_SET_SAMPLE_RATE, &wanted, 4, nullptr, 0)) {
    fprintf(stderr, "txvv_probe: the card refuses %lu Hz\n", wanted);
    return 1;
  }
  if (link.setBuffers(DWORD(frames) * 4) != 0) {
    fprintf(stderr, "txvv_probe: the card refuses halves of %.0f frames\n", frames);
    return 1;
  }
  if (realtime) SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  const StreamStatus* status = link.status();
  double periodNs = frames * 1e9 / rate;
  size_t expected = size_t(seconds * rate / frames) + 16;
  std::vector<int64_t> times;
  std::vector<uint32_t> halves;
  times.reserve(expected);
  halves.reserve(expected);

  int64_t cpuBefore = processCpuNs();
  int64_t daemonBefore = otherCpuNs(long(daemonPid));
  if (!deviceRequest(link.handle, IOCTL_VV_START, nullptr, 0, nullptr, 0)) {
    fprintf(stderr, "txvv_probe: the stream does not start\n");
    return 1;
  }
  int64_t end = monotonicNs() + int64_t(seconds * 1e9);
  DWORD reply[2];
  while (times.size() < expected) {
    if (!deviceRequest(link.handle, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, reply, 8, &bytes)) {
      fprintf(stderr, "txvv_probe: a wait failed\n");
      return 1;
    }
    int64_t now = monotonicNs();
    times.push_back(now);
    halves.push_back(status->completedHalves);
    if (now >= end) break;
  }
  int64_t cpu = processCpuNs() - cpuBefore;
  int64_t daemonAfter = otherCpuNs(long(daemonPid));
  deviceRequest(link.handle, IOCTL_VV_STOP, nullptr, 0, nullptr, 0);

  size_t wakes = times.size();
  if (wakes < 3) {
    fprintf(stderr, "txvv_probe: too few wake-ups\n");
    return 1;
  }
  // Periods between wake-ups.
  double sum = 0, squares = 0;
  for (size_t i = 1; i < wakes; ++i) {
    double d = double(times[i] - times[i - 1]);
    sum += d;
    squares += d * d;
  }
  double mean = sum / double(wakes - 1);
  double deviation = sqrt(std::max(0.0, squares / double(wakes - 1) - mean * mean));
  // Lateness against the grid of ideal completions: each wake-up is placed by the half it
  // reports; the grid is anchored at the earliest wake-up, afresh after a gap of 100 ms. A
  // wake-up so late that the next half completed before it read the status reports that
  // half: one that seems more than half a period early belongs to the half before.
  std::vector<double> lateness;
  lateness.reserve(wakes);
  size_t start = 0;
  while (start < wakes) {
    size_t stop = start + 1;
    while (stop < wakes && times[stop] - times[stop - 1] < 100000000) ++stop;
    std::vector<double> offsets;
    for (size_t i = start; i < stop; ++i)
      offsets.push_back(double(times[i]) - double(halves[i] - halves[start]) * periodNs);
    double typical = percentile(offsets, 0.5);
    double anchor = 1e300;
    for (double& offset : offsets) {
      while (offset < typical - periodNs / 2) offset += periodNs;
      anchor = std::min(anchor, offset);
    }
    for (double offset : offsets) lateness.push_back(offset - anchor);
    start = stop;
  }
  uint32_t completed = halves.back() - halves.front();
  long missed = long(completed) - long(wakes - 1);
  double perHalf = completed ? 1.0 / completed : 0;

  printf("probe: %.0f Hz, %.0f frames (%.1f us), %.1f s, client %s\n", rate, frames,
         periodNs / 1000, double(times.back() - times.front()) / 1e9,
         schedulingOfThisThread().c_str());
  printf("  wake-ups %zu, halves completed %u, missed halves %ld\n", wakes, completed + 1, missed);
  printf("  period: mean %.2f us, sd %.2f us\n", mean / 1000, deviation / 1000);
  printf("  lateness: median %.1f us, p99 %.1f us, max %.1f us\n", percentile(lateness, 0.5) / 1000,
         percentile(lateness, 0.99) / 1000, percentile(lateness, 1.0) / 1000);
  if (daemonBefore >= 0 && daemonAfter >= 0)
    printf("  cpu per half: client %.2f us, txvvd %.2f us\n", double(cpu) * perHalf / 1000,
           double(daemonAfter - daemonBefore) * perHalf / 1000);
  else
    printf("  cpu per half: client %.2f us\n", double(cpu) * perHalf / 1000);
  return 0;
}
