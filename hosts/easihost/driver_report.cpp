#include "driver_report.h"

#include <stdio.h>
#include <string.h>

namespace {

const char* directionName(LONG direction) { return direction == EASI_OUTPUT ? "out" : "in"; }

double cpuPerPeriodUs(const EasiRunFigures& figures) {
  size_t callbacks = figures.timing.callbacks;
  return callbacks ? figures.cpuSeconds * 1e6 / static_cast<double>(callbacks) : 0;
}

}  // namespace

void printDriverDescription(IEasiDriver* driver) {
  LONG outputs = driver->getChannelCount(EASI_OUTPUT);
  LONG inputs = driver->getChannelCount(EASI_INPUT);
  printf("outputs: %ld, inputs: %ld\n", static_cast<long>(outputs), static_cast<long>(inputs));
  for (LONG direction : {EASI_OUTPUT, EASI_INPUT}) {
    LONG count = direction == EASI_OUTPUT ? outputs : inputs;
    for (LONG channel = 0; channel < count; ++channel) {
      const char* name = driver->getChannelName(direction, channel);
      printf("  %s %ld: %s\n", directionName(direction), static_cast<long>(channel),
             name ? name : "(no name)");
    }
  }

  printf("sample rates:");
  for (LONG i = 0; i < driver->getSampleRateCount(); ++i)
    printf(" %ld", static_cast<long>(driver->getSampleRateByIndex(i)));
  printf("\n");

  printf("formats (out/in):");
  for (LONG format : {0, 4, 8, 12, 16, 20, 24})
    printf(" %ld %s/%s", static_cast<long>(format),
           driver->isFormatSupported(EASI_OUTPUT, format) ? "yes" : "no",
           driver->isFormatSupported(EASI_INPUT, format) ? "yes" : "no");
  printf("\n");

  printf("frames per half: %ld\n", static_cast<long>(driver->getBufferFrames(0)));
  printf("descriptors:\n");
  for (LONG direction : {EASI_OUTPUT, EASI_INPUT}) {
    for (LONG channel = 0;; ++channel) {
      const EasiChannelBuffer* halves[2] = {driver->getChannelBuffer(0, direction, channel),
                                            driver->getChannelBuffer(1, direction, channel)};
      if (!halves[0] || !halves[1]) break;
      for (const EasiChannelBuffer* d : halves)
        printf("  %s %ld half %ld: data 0x%08lX, channels %ld, frames %ld, bytes per sample %ld,"
               " full scale %.1f\n",
               directionName(direction), static_cast<long>(channel), static_cast<long>(d->half),
               static_cast<unsigned long>(d->data), static_cast<long>(d->channels),
               static_cast<long>(d->frames), static_cast<long>(d->bytesPerSample),
               static_cast<double>(d->fullScale));
    }
  }
}

void printStreamFigures(const EasiRunFigures& figures, uint32_t rate, LONG frames) {
  const StreamFigures& t = figures.timing;
  printf("streamed %.2f s at %lu Hz, %ld frames per half\n", figures.seconds,
         static_cast<unsigned long>(rate), static_cast<long>(frames));
  printf("callbacks: %zu (the clock completed about %llu halves)\n", t.callbacks,
         static_cast<unsigned long long>(t.halvesCompleted));
  printf("lag errors: %llu\n", static_cast<unsigned long long>(figures.lagErrors));
  printf("halves the card did not deliver: %llu\n",
         static_cast<unsigned long long>(figures.undeliveredHalves));
  printf("period: mean %.1f us, sd %.1f us, min %.1f us, max %.1f us (ideal %.1f us)\n",
         t.periodMeanUs, t.periodSdUs, t.periodMinUs, t.periodMaxUs,
         rate ? 1e6 * static_cast<double>(frames) / rate : 0.0);
  printf("lateness against the ideal grid: median %.1f us, 99%% %.1f us, max %.1f us\n",
         t.lateMedianUs, t.lateP99Us, t.lateMaxUs);
  printf("callback time: mean %.1f us, max %.1f us\n", figures.callbackMeanUs,
         figures.callbackMaxUs);
  printf("halves advanced: %llu, lost (called back more than a period late): %llu\n",
         static_cast<unsigned long long>(figures.advancedHalves),
         static_cast<unsigned long long>(t.missedHalves));
  printf("CPU: %.1f us per period, %.2f%% of one core\n", cpuPerPeriodUs(figures),
         figures.seconds > 0 ? 100.0 * figures.cpuSeconds / figures.seconds : 0.0);
  if (figures.droppedFrames)
    printf("recording full: %llu frames dropped\n",
           static_cast<unsigned long long>(figures.droppedFrames));
}

void printBenchLine(const EasiRunFigures& figures, uint32_t rate, LONG frames) {
  const StreamFigures& t = figures.timing;
  printf("BENCH system=easi rate=%lu frames=%ld callbacks=%zu missed=%llu period_sd_us=%.2f "
         "late_median_us=%.2f late_p99_us=%.2f late_max_us=%.2f cpu_us_per_period=%.2f\n",
         static_cast<unsigned long>(rate), static_cast<long>(frames), t.callbacks,
         static_cast<unsigned long long>(t.missedHalves), t.periodSdUs, t.lateMedianUs,
         t.lateP99Us, t.lateMaxUs, cpuPerPeriodUs(figures));
  printLosses(t);
}
