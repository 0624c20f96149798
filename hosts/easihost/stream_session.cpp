#include "stream_session.h"

#include <device_records.h>

#include <math.h>
#include <string.h>
#include <sched.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <new>

#include "monotonic_clock.h"

namespace {

double monotonicSeconds() { return static_cast<double>(monotonicNs()) / 1e9; }

double processCpuSeconds() {
  rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
         usage.ru_stime.tv_usec / 1e6;
}

constexpr uint64_t kRecordingBytes = 512ull << 20;
constexpr uint64_t kMaxCallbackRecords = 1u << 21;

int32_t* samplesOf(const EasiChannelBuffer* buffer) { return addressOf<int32_t>(buffer->data); }

}  // namespace

StreamSession::StreamSession(IEasiDriver* driver, const OutputSource& source, uint32_t rate)
    : driver_(driver), source_(source), rate_(rate) {}

bool StreamSession::setUp(double seconds, bool recordInputs, bool keepOutputs,
                          std::string* error) {
  LONG frames = driver_->getBufferFrames(0);
  if (frames <= 0) {
    *error = "the driver reports no buffer frames";
    return false;
  }
  frames_ = static_cast<uint32_t>(frames);
  for (LONG half = 0; half < 2; ++half) {
    for (LONG direction : {EASI_OUTPUT, EASI_INPUT}) {
      auto& list = direction == EASI_OUTPUT ? outputs_[half] : inputs_[half];
      list.clear();
      for (LONG channel = 0;; ++channel) {
        EasiChannelBuffer* buffer = driver_->getChannelBuffer(half, direction, channel);
        if (!buffer) break;
        if (buffer->bytesPerSample != 4 || buffer->frames != frames || buffer->data == 0) {
          *error = "channel buffer descriptor not usable";
          return false;
        }
        list.push_back(buffer);
      }
    }
  }

  recordInputs_ = recordInputs && !inputs_[0].empty();
  keepOutputs_ = keepOutputs && !outputs_[0].empty();
  // Room for the run plus a second of slack, and the two primed halves.
  uint64_t room = static_cast<uint64_t>((seconds + 1.0) * rate_) + 2ull * frames_;
  uint64_t channels = (recordInputs_ ? inputs_[0].size() : 0) +
                      (keepOutputs_ ? outputs_[0].size() : 0);
  if (channels * room * 4 > kRecordingBytes) {
    uint64_t most = kRecordingBytes / (channels * 4 * rate_);
    *error = "recording " + std::to_string(channels) + " channels for that long takes more " +
             "memory than a 32-bit process can spare; record at most " + std::to_string(most) +
             " seconds at a time";
    return false;
  }
  // Timing figures cover the first callbacks of a very long run.
  uint64_t records = std::min<uint64_t>(room / frames_ * 2 + 64, kMaxCallbackRecords);
  try {
    if (recordInputs_) recorded_.assign(room * inputs_[0].size(), 0);
    if (keepOutputs_) played_.assign(room * outputs_[0].size(), 0);
    records_.assign(static_cast<size_t>(records), CallbackRecord{});
  } catch (const std::bad_alloc&) {
    *error = "not enough memory for the run";
    return false;
  }
  return true;
}

void StreamSession::halfBufferDone(LONG half) {
  if (half != 0 && half != 1) return;
  bool streaming = streaming_.load(std::memory_order_acquire);
  int64_t entry = streaming ? monotonicNs() : 0;

  const size_t outputCount = outputs_[half].size();
  uint64_t start = playedFrames_;
  for (size_t j = 0; j < outputCount; ++j) {
    int32_t* out = samplesOf(outputs_[half][j]);
    if (j > 0 && source_.sameOnEveryOutput())
      memcpy(out, samplesOf(outputs_[half][0]), frames_ * sizeof *out);
    else
      source_.fill(static_cast<uint32_t>(j), start, frames_, out);
  }
  if (keepOutputs_) {
    size_t room = played_.size() / outputCount;
    for (uint32_t i = 0; i < frames_ && start + i < room; ++i)
      for (size_t j = 0; j < outputCount; ++j)
        played_[(start + i) * outputCount + j] = samplesOf(outputs_[half][j])[i];
  }
  playedFrames_ += frames_;

  // The inputs of a primed half hold nothing recorded yet.
  if (streaming && recordInputs_) {
    const size_t inputCount = inputs_[half].size();
    size_t room = recorded_.size() / inputCount;
    for (uint32_t i = 0; i < frames_; ++i) {
      if (recordedFrames_ >= room) {
        figures_.droppedFrames += frames_ - i;
        break;
      }
      for (size_t j = 0; j < inputCount; ++j)
        recorded_[recordedFrames_ * inputCount + j] = samplesOf(inputs_[half][j])[i];
      ++recordedFrames_;
    }
  }

  if (streaming) {
    lastCallbackNs_.store(entry, std::memory_order_relaxed);
    if (recordCount_ < records_.size()) {
      CallbackRecord& record = records_[recordCount_];
      record.wallNs = entry;
      record.position = static_cast<uint64_t>(recordCount_) * frames_;
      record.index = half;
      ++recordCount_;
    }
    double spent = static_cast<double>(monotonicNs() - entry) / 1e9;
    callbackSum_ += spent;
    callbackMax_ = fmax(callbackMax_, spent);

    // No wake-up of the main thread: it comes round for the pending halves by itself.
    uint64_t done = callbacksDone_.load(std::memory_order_relaxed);
    halves_[done % kRing] = half;
    callbacksDone_.store(done + 1, std::memory_order_release);
  }
}

// The driver counts a callback only once it has returned, so an advance that comes in the
// moment between (or while the next callback is under way) is refused like a real lag; it is
// tried again for a moment before it counts as one.
bool StreamSession::advance(LONG half, LONG direction, double budgetSeconds) {
  double giveUp = 0;
  for (;;) {
    driver_->advanceHalfPosition(half, direction);
    if (driver_->getLastError() != EASI_HOST_LAGGING) return true;
    double now = monotonicSeconds();
    if (giveUp == 0) giveUp = now + budgetSeconds;
    if (now > giveUp) return false;
    sched_yield();
  }
}

// Each half called back is advanced once, in order; a half still refused stays pending for the
// next round, so none is advanced twice or skipped.
void StreamSession::advancePending(double budgetSeconds) {
  uint64_t done = callbacksDone_.load(std::memory_order_acquire);
  if (done - advanced_ > kRing) {
    // Starved for longer than the ring holds: those halves' numbers are overwritten.
    figures_.lagErrors += done - advanced_ - kRing;
    advanced_ = done - kRing;
    outputAdvanced_ = false;
  }
  while (advanced_ < done) {
    LONG half = halves_[advanced_ % kRing];
    if (!outputAdvanced_ && !advance(half, EASI_OUTPUT, budgetSeconds)) break;
    outputAdvanced_ = true;
    if (!advance(half, EASI_INPUT, budgetSeconds)) break;
    outputAdvanced_ = false;
    ++advanced_;
    ++figures_.advancedHalves;
  }
  if (advanced_ < done) ++figures_.lagErrors;
}

bool StreamSession::run(double seconds, std::string* error) {
  // Primes both output halves on this thread.
  LONG result = driver_->prepare(0, 0);
  if (result != EASI_OK) {
    *error = "prepare failed with error " + std::to_string(result);
    return false;
  }

  double budget = fmin(0.25 * frames_ / rate_, 0.0005);
  // At the streaming thread's priority, a refused advance's retries measure the driver, not
  // this thread's own scheduling.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  streaming_.store(true, std::memory_order_release);
  double started = monotonicSeconds();
  double cpuStarted = processCpuSeconds();
  lastCallbackNs_.store(monotonicNs());
  result = driver_->startStream();
  if (result != EASI_OK) *error = "startStream reported error " + std::to_string(result);

  // The halves are advanced in rounds, not after each callback: a wake-up of this thread per
  // half would cost as much as the streaming thread's own.
  for (double left = seconds; result == EASI_OK && left > 0;
       left = seconds - (monotonicSeconds() - started)) {
    timespec pause{0, static_cast<long>(fmin(left, kAdvanceRoundSeconds) * 1e9)};
    nanosleep(&pause, nullptr);
    advancePending(budget);
  }

  double elapsed = monotonicSeconds() - started;
  double cpu = processCpuSeconds() - cpuStarted;
  int64_t stopping = monotonicNs();
  LONG stopped = driver_->stopStream();
  streaming_.store(false, std::memory_order_release);
  advancePending(budget);
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);

  int64_t last = lastCallbackNs_.load();
  figures_.undeliveredHalves = undeliveredHalves(last, stopping, static_cast<long>(frames_), rate_);
  if (result == EASI_OK && stopped != EASI_OK)
    *error = "stopStream reported error " + std::to_string(stopped);
  else if (result == EASI_OK && figures_.undeliveredHalves)
    *error = "the stream ended early: no callback in the last " +
             std::to_string((stopping - last) / 1000000) + " ms";
  figures_.seconds = elapsed;
  figures_.cpuSeconds = cpu;
  return result == EASI_OK && stopped == EASI_OK && figures_.undeliveredHalves == 0;
}

void StreamSession::finish() {
  std::vector<CallbackRecord> streamed(records_.begin(),
                                       records_.begin() + static_cast<long>(recordCount_));
  figures_.timing = computeFigures(streamed, static_cast<long>(frames_), rate_);
  figures_.timing.callbacks = static_cast<size_t>(callbacksDone_.load());
  // The card's own count is not visible to a host; it is what the clock should have done.
  figures_.timing.halvesCompleted = static_cast<uint64_t>(figures_.seconds * rate_ / frames_);
  // The driver hands over every half, late ones too: a half is lost when its callback began
  // after the card had moved on to play it.
  countLateHalvesLost(streamed, static_cast<long>(frames_), rate_, &figures_.timing);
  if (figures_.timing.callbacks > 0)
    figures_.callbackMeanUs = callbackSum_ / static_cast<double>(figures_.timing.callbacks) * 1e6;
  figures_.callbackMaxUs = callbackMax_ * 1e6;
}

bool StreamSession::writeRecording(const std::string& path, std::string* error) const {
  if (!recordInputs_) {
    *error = "the driver offers no inputs to record";
    return false;
  }
  WavWriter recorder;
  if (!recorder.open(path, rate_, error, static_cast<uint32_t>(inputs_[0].size()))) return false;
  recorder.write(recorded_.data(), recordedFrames_);
  if (!recorder.close()) {
    *error = path + ": write failed";
    return false;
  }
  return true;
}

bool StreamSession::writePlayed(const std::string& path, std::string* error) const {
  if (!keepOutputs_) {
    *error = "the driver offers no outputs";
    return false;
  }
  size_t channels = outputs_[0].size();
  uint64_t frames = playedFrames_ < played_.size() / channels ? playedFrames_
                                                              : played_.size() / channels;
  WavWriter recorder;
  if (!recorder.open(path, rate_, error, static_cast<uint32_t>(channels))) return false;
  recorder.write(played_.data(), frames);
  if (!recorder.close()) {
    *error = path + ": write failed";
    return false;
  }
  return true;
}
