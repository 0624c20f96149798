#include "stream_session.h"

#include <windows.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>

#include "monotonic_clock.h"

namespace {

StreamSession* current = nullptr;

double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

uint64_t joined(const ASIOSamples& s) { return static_cast<uint64_t>(s.hi) << 32 | s.lo; }
uint64_t joined(const ASIOTimeStamp& s) { return static_cast<uint64_t>(s.hi) << 32 | s.lo; }

const double kTwoPi = 6.283185307179586;
const double kToneAmplitude = 0x3FFFFFFF;  // half of full scale

}  // namespace

StreamSession::StreamSession(const HostOptions& options, const InstalledDriver& driver)
    : options_(options), driver_(driver) {
  current = this;
  callbacks_.bufferSwitch = &StreamSession::bufferSwitch;
  callbacks_.sampleRateDidChange = &StreamSession::sampleRateDidChange;
  callbacks_.asioMessage = &StreamSession::asioMessage;
  callbacks_.bufferSwitchTimeInfo = &StreamSession::bufferSwitchTimeInfo;
}

StreamSession::~StreamSession() {
  unload();
  current = nullptr;
}

bool StreamSession::load(bool withBuffers) {
  HRESULT result = CoCreateInstance(driver_.clsid, nullptr, CLSCTX_INPROC_SERVER, driver_.clsid,
                                    reinterpret_cast<void**>(&asio_));
  if (result != S_OK || !asio_) {
    fprintf(stderr, "asiohost: cannot create %s (0x%08lX)\n", driver_.keyName.c_str(),
            static_cast<unsigned long>(result));
    asio_ = nullptr;
    return false;
  }
  if (asio_->init(nullptr) != ASIOTrue) {
    char text[128] = {};
    asio_->getErrorMessage(text);
    fprintf(stderr, "asiohost: %s did not initialise: %s\n", driver_.keyName.c_str(), text);
    return false;
  }
  if (!withBuffers) return true;

  if (options_.rate > 0) {
    ASIOError set = asio_->setSampleRate(options_.rate);
    if (set != ASE_OK) {
      fprintf(stderr, "asiohost: setSampleRate(%.0f) failed (%ld)\n", options_.rate, set);
      return false;
    }
  }
  if (asio_->getSampleRate(&rate_) != ASE_OK) {
    fprintf(stderr, "asiohost: the driver has no clock\n");
    return false;
  }
  long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  if (asio_->getChannels(&inputs_, &outputs_) != ASE_OK ||
      asio_->getBufferSize(&minSize, &maxSize, &preferred, &granularity) != ASE_OK) {
    fprintf(stderr, "asiohost: the driver reports no channels or buffer sizes\n");
    return false;
  }
  bufferSize_ = options_.bufferSize > 0 ? options_.bufferSize : preferred;
  // As hosts do: time info only from a driver that says it can give it.
  timeInfoAccepted_ = options_.timeInfo && asio_->future(kAsioCanTimeInfo, nullptr) == ASE_SUCCESS;

  buffers_.assign(static_cast<size_t>(inputs_ + outputs_), ASIOBufferInfo{});
  for (long i = 0; i < inputs_ + outputs_; i++) {
    buffers_[i].isInput = i < inputs_ ? ASIOTrue : ASIOFalse;
    buffers_[i].channelNum = i < inputs_ ? i : i - inputs_;
  }
  ASIOError created = asio_->createBuffers(buffers_.data(), inputs_ + outputs_, bufferSize_,
                                           &callbacks_);
  if (created != ASE_OK) {
    fprintf(stderr, "asiohost: createBuffers(%ld frames) failed (%ld)\n", bufferSize_, created);
    return false;
  }
  phase_.assign(static_cast<size_t>(outputs_), 0.0);
  outputFrame_ = 0;
  records_.clear();
  size_t expected = static_cast<size_t>(options_.seconds * rate_ / static_cast<double>(bufferSize_));
  // Written once here so that no callback meets a fresh page: a page fault on the streaming
  // thread costs microseconds, and at times a half.
  records_.resize(expected * 2 + 64);
  records_.clear();
  captureCapacity_ = (expected + 64) * static_cast<size_t>(bufferSize_);
  if (!options_.recordPath.empty() && !options_.bench) {
    recorded_.assign(captureCapacity_ * static_cast<size_t>(inputs_), 0);
    recordedFrames_ = 0;
  }
  if (!options_.playedPath.empty() && !options_.bench) {
    played_.assign(captureCapacity_ * static_cast<size_t>(outputs_), 0);
    playedFrames_ = 0;
  }
  return true;
}

void StreamSession::unload() {
  if (!asio_) return;
  asio_->stop();
  asio_->disposeBuffers();
  asio_->Release();
  asio_ = nullptr;
}

void StreamSession::bufferSwitch(long index, ASIOBool) { current->onSwitch(index, false); }

ASIOTime* StreamSession::bufferSwitchTimeInfo(ASIOTime* params, long index, ASIOBool) {
  current->onSwitch(index, true);
  return params;
}

void StreamSession::sampleRateDidChange(ASIOSampleRate rate) {
  current->rateChanges_++;
  fprintf(stderr, "asiohost: sample rate changed to %.0f Hz\n", rate);
}

long StreamSession::asioMessage(long selector, long value, void*, double*) {
  switch (selector) {
    case kAsioSelectorSupported:
      return value == kAsioResetRequest || value == kAsioSupportsTimeInfo ||
                     value == kAsioEngineVersion
                 ? 1
                 : 0;
    case kAsioEngineVersion:
      return 2;
    case kAsioResetRequest: {
      std::lock_guard<std::mutex> hold(current->resetLock_);
      current->resetRequested_ = true;
      current->resetSignal_.notify_one();
      return 1;
    }
    case kAsioSupportsTimeInfo:
      return current->timeInfoAccepted_ ? 1 : 0;
    default:
      return 0;
  }
}

void StreamSession::onSwitch(long index, bool viaTimeInfo) {
  int64_t entered = monotonicNs();
  lastSwitchNs_.store(entered);
  CallbackRecord record{};
  record.wallNs = entered;
  record.index = index;
  record.viaTimeInfo = viaTimeInfo;
  ASIOSamples position{};
  ASIOTimeStamp stamp{};
  if (asio_->getSamplePosition(&position, &stamp) == ASE_OK) {
    record.position = joined(position);
    record.stampNs = joined(stamp);
  } else {
    positionFailures_++;
  }
  if (index == 0 || index == 1) {
    fillOutputs(index);
    takeInputs(index);
  }
  if (options_.callbackMs > 0) {
    int64_t until = entered + static_cast<int64_t>(options_.callbackMs * 1e6);
    while (monotonicNs() < until) {
    }
  }
  if (records_.size() < records_.capacity()) records_.push_back(record);
}

void StreamSession::fillOutputs(long index) {
  size_t frames = static_cast<size_t>(bufferSize_);
  for (long c = 0; c < outputs_; c++) {
    auto* out = static_cast<int32_t*>(buffers_[inputs_ + c].buffers[index]);
    if (!out) continue;
    if (options_.bench) {
      memset(out, 0, frames * sizeof *out);
    } else if (!play_.samples.empty()) {
      size_t total = play_.samples.size() / play_.channels;
      for (size_t i = 0; i < frames; i++)
        out[i] = play_.samples[((playFrame_ + i) % total) * play_.channels + c % play_.channels];
    } else {
      double step = kTwoPi * options_.toneHz * static_cast<double>(c + 1) / rate_;
      double& phase = phase_[c];
      for (size_t i = 0; i < frames; i++) {
        out[i] = static_cast<int32_t>(lrint(sin(phase) * kToneAmplitude));
        phase += step;
        if (phase >= kTwoPi) phase -= kTwoPi;
      }
    }
    if (!played_.empty() && playedFrames_ + frames <= captureCapacity_)
      for (size_t i = 0; i < frames; i++)
        played_[(playedFrames_ + i) * outputs_ + c] = out[i];
  }
  if (!play_.samples.empty()) playFrame_ += frames;
  if (!played_.empty() && playedFrames_ + frames <= captureCapacity_) playedFrames_ += frames;
  outputFrame_ += frames;
}

void StreamSession::takeInputs(long index) {
  if (recorded_.empty()) return;
  size_t frames = static_cast<size_t>(bufferSize_);
  if (recordedFrames_ + frames > captureCapacity_) return;
  for (long c = 0; c < inputs_; c++) {
    auto* in = static_cast<const int32_t*>(buffers_[c].buffers[index]);
    if (!in) continue;
    for (size_t i = 0; i < frames; i++) recorded_[(recordedFrames_ + i) * inputs_ + c] = in[i];
  }
  recordedFrames_ += frames;
}

int StreamSession::stream() {
  std::string error;
  if (!options_.playPath.empty() && !readWav(options_.playPath, &play_, &error)) {
    fprintf(stderr, "asiohost: %s\n", error.c_str());
    return 1;
  }
  if (!load(true)) return 1;
  printf("streaming %s: %.2f s at %.0f Hz, %ld frames per half, %ld in, %ld out\n",
         driver_.keyName.c_str(), options_.seconds, rate_, bufferSize_, inputs_, outputs_);
  fflush(stdout);

  double cpuBefore = processCpuSeconds();
  int64_t began = monotonicNs();
  lastSwitchNs_.store(began);
  ASIOError started = asio_->start();
  if (started != ASE_OK) {
    fprintf(stderr, "asiohost: start failed (%ld)\n", started);
    return 1;
  }
  auto end = std::chrono::steady_clock::now() +
             std::chrono::nanoseconds(static_cast<int64_t>(options_.seconds * 1e9));
  for (;;) {
    {
      // No polling: a wake-up per period of ours would show in the CPU figures.
      std::unique_lock<std::mutex> hold(resetLock_);
      if (!resetSignal_.wait_until(hold, end, [this] { return resetRequested_.load(); })) break;
    }
    if (resetRequested_.exchange(false)) {
      printf("reset requested: reloading the driver\n");
      unload();
      reloads_++;
      bool reloaded = load(true);
      lastSwitchNs_.store(monotonicNs());  // the reload's own time is no silence of the card
      if (!reloaded || asio_->start() != ASE_OK) {
        fprintf(stderr, "asiohost: the reloaded driver does not stream\n");
        return 1;
      }
    }
  }
  int64_t stopping = monotonicNs();
  ASIOError stopped = asio_->stop();
  double wall = static_cast<double>(monotonicNs() - began) / 1e9;
  double cpu = processCpuSeconds() - cpuBefore;
  if (stopped != ASE_OK) fprintf(stderr, "asiohost: stop failed (%ld)\n", stopped);
  asio_->disposeBuffers();

  uint64_t undelivered = undeliveredHalves(lastSwitchNs_.load(), stopping, bufferSize_, rate_);
  report(cpu, wall, undelivered);
  if (undelivered)
    fprintf(stderr, "asiohost: the stream ended early: no callback in the last %.0f ms\n",
            static_cast<double>(stopping - lastSwitchNs_.load()) / 1e6);

  bool written = true;
  if (!recorded_.empty()) {
    WavData wav{static_cast<unsigned>(inputs_), static_cast<unsigned>(rate_), {}};
    wav.samples.assign(recorded_.begin(), recorded_.begin() + recordedFrames_ * inputs_);
    written = writeWav(options_.recordPath, wav, &error) && written;
  }
  if (!played_.empty()) {
    WavData wav{static_cast<unsigned>(outputs_), static_cast<unsigned>(rate_), {}};
    wav.samples.assign(played_.begin(), played_.begin() + playedFrames_ * outputs_);
    written = writeWav(options_.playedPath, wav, &error) && written;
  }
  if (!written) fprintf(stderr, "asiohost: %s\n", error.c_str());
  unload();
  return records_.empty() || !written || stopped != ASE_OK || undelivered ? 1 : 0;
}

void StreamSession::report(double cpuSeconds, double wallSeconds, uint64_t undelivered) {
  StreamFigures f = computeFigures(records_, bufferSize_, rate_);
  double cpuPerPeriodUs = f.callbacks ? cpuSeconds * 1e6 / static_cast<double>(f.callbacks) : 0;
  if (options_.positions)
    for (size_t i = 0; i < records_.size(); i++)
      printf("switch %zu: half %ld, position %llu, stamp %llu ns%s\n", i, records_[i].index,
             static_cast<unsigned long long>(records_[i].position),
             static_cast<unsigned long long>(records_[i].stampNs),
             records_[i].viaTimeInfo ? ", time info" : "");
  printf("callbacks: %zu (bufferSwitchTimeInfo %zu)\n", f.callbacks, f.timeInfoCallbacks);
  printf("halves the card completed: %llu, missed: %llu\n",
         static_cast<unsigned long long>(f.halvesCompleted),
         static_cast<unsigned long long>(f.missedHalves));
  printf("halves the card did not deliver: %llu\n", static_cast<unsigned long long>(undelivered));
  printf("position steps other than %ld frames: %zu\n", bufferSize_, f.irregularSteps);
  if (positionFailures_) printf("getSamplePosition failures: %d\n", positionFailures_.load());
  printf("period: mean %.1f us, sd %.1f us, min %.1f us, max %.1f us (ideal %.1f us)\n",
         f.periodMeanUs, f.periodSdUs, f.periodMinUs, f.periodMaxUs,
         1e6 * static_cast<double>(bufferSize_) / rate_);
  printf("lateness against the ideal grid: median %.1f us, 99%% %.1f us, max %.1f us\n",
         f.lateMedianUs, f.lateP99Us, f.lateMaxUs);
  printf("CPU: %.1f us per period, %.2f%% of one core\n", cpuPerPeriodUs,
         wallSeconds > 0 ? 100.0 * cpuSeconds / wallSeconds : 0.0);
  if (rateChanges_) printf("sample rate changes: %d\n", rateChanges_.load());
  if (reloads_) printf("driver reloads: %d\n", reloads_);
  if (options_.bench)
    printf("BENCH system=asio rate=%.0f frames=%ld callbacks=%zu missed=%llu period_sd_us=%.2f "
           "late_median_us=%.2f late_p99_us=%.2f late_max_us=%.2f cpu_us_per_period=%.2f\n",
           rate_, bufferSize_, f.callbacks, static_cast<unsigned long long>(f.missedHalves),
           f.periodSdUs, f.lateMedianUs, f.lateP99Us, f.lateMaxUs, cpuPerPeriodUs);
  if (options_.bench) printLosses(f);
  fflush(stdout);
}

int StreamSession::panel() {
  if (!load(true)) return 1;
  ASIOError result = asio_->controlPanel();
  printf("controlPanel: %ld\n", result);
  if (resetRequested_.exchange(false)) {
    printf("reset requested: reloading the driver\n");
    unload();
    if (!load(true)) return 1;
    printf("buffer size now %ld frames\n", bufferSize_);
  } else {
    printf("no reset requested\n");
  }
  unload();
  return result == ASE_OK ? 0 : 1;
}
