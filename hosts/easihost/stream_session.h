// One run of the stream: primes the outputs, streams for a while with the host's work in the
// callback, advances the half positions of the called-back halves from the main thread in
// rounds, stops, and keeps the figures of the run.
#pragma once

#include "aggregating_host.h"
#include "output_source.h"
#include "stream_stats.h"
#include "wav_file.h"

#include <atomic>
#include <string>
#include <vector>

// What one run gives beside the callback timing (StreamFigures, shared with asiohost and the
// JACK probe so that the figures of all three compare).
struct EasiRunFigures {
  uint64_t lagErrors = 0;      // rounds of advances the driver refused, being behind the card
  uint64_t advancedHalves = 0;  // each half called back while streaming, advanced once
  uint64_t droppedFrames = 0;  // recording space ran out
  uint64_t undeliveredHalves = 0;  // owed by the card after its last callback
  double seconds = 0;
  double cpuSeconds = 0;
  double callbackMeanUs = 0;
  double callbackMaxUs = 0;
  StreamFigures timing;
};

class StreamSession : public HalfBufferHandler {
public:
  StreamSession(IEasiDriver* driver, const OutputSource& source, uint32_t rate);

  // Reads channel counts and descriptors and makes room for `seconds` of recording.
  bool setUp(double seconds, bool recordInputs, bool keepOutputs, std::string* error);
  // Primes, streams for `seconds`, stops. The figures and the recording are complete only
  // after the driver has been closed (its streaming thread may still be in a callback).
  bool run(double seconds, std::string* error);
  void finish();
  const EasiRunFigures& figures() const { return figures_; }
  uint32_t frames() const { return frames_; }

  bool writeRecording(const std::string& path, std::string* error) const;
  bool writePlayed(const std::string& path, std::string* error) const;

  void halfBufferDone(LONG half) override;

private:
  void advancePending(double budgetSeconds);
  bool advance(LONG half, LONG direction, double budgetSeconds);

  IEasiDriver* driver_;
  const OutputSource& source_;
  uint32_t rate_;
  uint32_t frames_ = 0;
  std::vector<EasiChannelBuffer*> outputs_[2];
  std::vector<EasiChannelBuffer*> inputs_[2];

  // Filled by the callback; sized before streaming so the callback never allocates.
  std::vector<int32_t> recorded_;
  std::vector<int32_t> played_;
  uint64_t recordedFrames_ = 0;
  uint64_t playedFrames_ = 0;
  bool recordInputs_ = false;
  bool keepOutputs_ = false;
  std::atomic<bool> streaming_{false};

  // Callback n stores its half at n modulo the ring, then counts itself done.
  static constexpr size_t kRing = 4096;
  LONG halves_[kRing] = {};
  std::atomic<uint64_t> callbacksDone_{0};
  std::atomic<int64_t> lastCallbackNs_{0};
  uint64_t advanced_ = 0;
  bool outputAdvanced_ = false;  // the half at advanced_ has had its output advanced
  // How long the main thread sleeps between rounds of advances.
  static constexpr double kAdvanceRoundSeconds = 0.1;

  // One record per streamed callback, positions on the grid of callbacks: a half the driver
  // never handed over shows as lateness of every callback after it. Touched only by the
  // streaming thread while streaming; room made before.
  std::vector<CallbackRecord> records_;
  size_t recordCount_ = 0;
  double callbackSum_ = 0;
  double callbackMax_ = 0;

  EasiRunFigures figures_;
};
