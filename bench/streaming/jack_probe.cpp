// The streaming probe as a small JACK client: in every process cycle it does what asiohost does
// in benchmark mode (note the time, read the cycle's frame position, write silence to four
// outputs) and prints the same BENCH line and LOSS lines, computed by the same code.
//   jack_probe --server NAME --seconds S [--system NAME]   (NAME in the BENCH line, default jack)
// Built natively by bench/streaming/run against Debian's libjack-jackd2.
#include <jack/jack.h>

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include "monotonic_clock.h"
#include "stream_stats.h"

namespace {

constexpr int kOutputs = 4;

jack_client_t* client = nullptr;
jack_port_t* outputs[kOutputs] = {};
std::vector<CallbackRecord> records;
std::atomic<size_t> recorded{0};
std::atomic<int> xruns{0};

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int process(jack_nframes_t frames, void*) {
  CallbackRecord record{};
  record.wallNs = monotonicNs();
  record.position = jack_last_frame_time(client);
  for (auto* port : outputs)
    memset(jack_port_get_buffer(port, frames), 0, frames * sizeof(jack_default_audio_sample_t));
  size_t at = recorded.load(std::memory_order_relaxed);
  if (at < records.size()) {
    records[at] = record;
    recorded.store(at + 1, std::memory_order_release);
  }
  return 0;
}

int xrun(void*) {
  xruns++;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string server = "default";
  std::string system = "jack";
  double seconds = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (strcmp(argv[i], "--server") == 0) server = argv[i + 1];
    else if (strcmp(argv[i], "--seconds") == 0) seconds = atof(argv[i + 1]);
    else if (strcmp(argv[i], "--system") == 0) system = argv[i + 1];
  }
  jack_status_t status;
  client = jack_client_open("vexa_probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                            &status, server.c_str());
  if (!client) {
    fprintf(stderr, "jack_probe: no JACK server %s (status 0x%x)\n", server.c_str(), status);
    return 1;
  }
  double rate = jack_get_sample_rate(client);
  long period = static_cast<long>(jack_get_buffer_size(client));
  records.resize(static_cast<size_t>(seconds * rate / static_cast<double>(period)) * 2 + 64);
  for (int i = 0; i < kOutputs; i++) {
    std::string name = "out_" + std::to_string(i + 1);
    outputs[i] = jack_port_register(client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
  }
  jack_set_process_callback(client, process, nullptr);
  jack_set_xrun_callback(client, xrun, nullptr);

  double cpuBefore = processCpuSeconds();
  if (jack_activate(client) != 0) {
    fprintf(stderr, "jack_probe: cannot activate\n");
    return 1;
  }
  for (int i = 0; i < kOutputs; i++) {
    std::string from = std::string("vexa_probe:out_") + std::to_string(i + 1);
    std::string to = "system:playback_" + std::to_string(i + 1);
    jack_connect(client, from.c_str(), to.c_str());
  }
  usleep(static_cast<useconds_t>(seconds * 1e6));
  jack_deactivate(client);
  double cpu = processCpuSeconds() - cpuBefore;
  jack_client_close(client);

  records.resize(recorded.load(std::memory_order_acquire));
  StreamFigures f = computeFigures(records, period, rate);
  double cpuPerPeriodUs = f.callbacks ? cpu * 1e6 / static_cast<double>(f.callbacks) : 0;
  printf("BENCH system=%s rate=%.0f frames=%ld callbacks=%zu missed=%llu period_sd_us=%.2f "
         "late_median_us=%.2f late_p99_us=%.2f late_max_us=%.2f cpu_us_per_period=%.2f xruns=%d\n",
         system.c_str(), rate, period, f.callbacks,
         static_cast<unsigned long long>(f.missedHalves), f.periodSdUs,
         f.lateMedianUs, f.lateP99Us, f.lateMaxUs, cpuPerPeriodUs, xruns.load());
  printLosses(f);
  return 0;
}
