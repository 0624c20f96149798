// Throughput of the meter ballistics on 1024-sample blocks: samples per second per core and
// cycles per sample, for both modes, on a lively signal and on silence that has already
// lasted ten minutes (where subnormal arithmetic would show up). Cycles are the thread's CPU
// time in time-stamp-counter ticks, so that time lost to other processes does not count.
#include "meter_ballistics.h"

#include <benchmark/benchmark.h>
#include <x86intrin.h>

#include <math.h>
#include <stdint.h>
#include <time.h>

#include <memory>
#include <random>
#include <vector>

namespace {

const int32_t kBlock = 1024;
const int32_t kRate = 48000;

// Music-like: a few tones under a slowly pulsing envelope plus noise, with occasional bursts
// near full scale, so attack, release, new peaks and decay all occur.
std::vector<int32_t> LivelySignal(size_t samples) {
  std::vector<int32_t> signal(samples);
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 0.05);
  for (size_t i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double envelope = 0.5 + 0.45 * sin(2 * M_PI * 1.3 * t);
    double v = envelope * (0.5 * sin(2 * M_PI * 440 * t) + 0.3 * sin(2 * M_PI * 97 * t)) +
               noise(random);
    if (i % 20000 < 300) v *= 1.9;
    if (v > 1.0) v = 1.0;
    if (v < -1.0) v = -1.0;
    signal[i] = static_cast<int32_t>(v * 2147483392.0);
  }
  return signal;
}

double Seconds(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Mode 0 "Peak Program", 1 "Peak / Hold", as the program makes them.
void Run(benchmark::State& state, int32_t mode, const std::vector<int32_t>& signal,
         size_t warmupSamples) {
  const std::unique_ptr<MeterBallistics> meter = MakeBallistics(mode);
  MeterBallistics& ballistics = *meter;
  if (warmupSamples > 0) {
    const std::vector<int32_t> silence(kBlock, 0);
    for (size_t done = 0; done < warmupSamples; done += kBlock)
      ballistics.Process(silence.data(), kBlock, kRate);
  }
  const size_t blocks = signal.size() / kBlock;
  size_t next = 0;
  const uint64_t startTicks = __rdtsc();
  const double startWall = Seconds(CLOCK_MONOTONIC);
  const double startCpu = Seconds(CLOCK_THREAD_CPUTIME_ID);
  for (auto _ : state) {
    ballistics.Process(signal.data() + next * kBlock, kBlock, kRate);
    next = next + 1 == blocks ? 0 : next + 1;
    benchmark::DoNotOptimize(ballistics.LevelDb());
  }
  const double ticksPerSecond =
      static_cast<double>(__rdtsc() - startTicks) / (Seconds(CLOCK_MONOTONIC) - startWall);
  const double cpu = Seconds(CLOCK_THREAD_CPUTIME_ID) - startCpu;
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["cycles/sample"] = cpu * ticksPerSecond / samples;
}

const std::vector<int32_t>& Lively() {
  static const std::vector<int32_t> signal = LivelySignal(kBlock * 256);
  return signal;
}

const std::vector<int32_t>& Silence() {
  static const std::vector<int32_t> signal(kBlock * 16, 0);
  return signal;
}

const size_t kTenMinutes = static_cast<size_t>(kRate) * 600;

void PpmLively(benchmark::State& state) { Run(state, 0, Lively(), 0); }
void PpmSilence(benchmark::State& state) { Run(state, 0, Silence(), kTenMinutes); }
void PeakHoldLively(benchmark::State& state) { Run(state, 1, Lively(), 0); }
void PeakHoldSilence(benchmark::State& state) { Run(state, 1, Silence(), kTenMinutes); }

}  // namespace

BENCHMARK(PpmLively);
BENCHMARK(PpmSilence);
BENCHMARK(PeakHoldLively);
BENCHMARK(PeakHoldSilence);

BENCHMARK_MAIN();
