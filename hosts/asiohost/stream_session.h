// One streaming run through a driver: creates it, hands it our callbacks, plays a tone or a WAV
// file, records the inputs, reloads the driver when it asks for a reset, and collects figures.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "driver_list.h"
#include "host_options.h"
#include "iasio.h"
#include "stream_stats.h"
#include "wav_file.h"

class StreamSession {
public:
  StreamSession(const HostOptions& options, const InstalledDriver& driver);
  ~StreamSession();
  StreamSession(const StreamSession&) = delete;
  StreamSession& operator=(const StreamSession&) = delete;

  int stream();  // exit code
  int panel();   // exit code

private:
  static void bufferSwitch(long index, ASIOBool directProcess);
  static ASIOTime* bufferSwitchTimeInfo(ASIOTime* params, long index, ASIOBool directProcess);
  static void sampleRateDidChange(ASIOSampleRate rate);
  static long asioMessage(long selector, long value, void* message, double* opt);

  bool load(bool withBuffers);
  void unload();
  void onSwitch(long index, bool viaTimeInfo);
  void fillOutputs(long index);
  void takeInputs(long index);
  void report(double cpuSeconds, double wallSeconds, uint64_t undelivered);

  const HostOptions& options_;
  const InstalledDriver& driver_;
  IASIO* asio_ = nullptr;
  long inputs_ = 0, outputs_ = 0;
  long bufferSize_ = 0;
  double rate_ = 0;
  std::vector<ASIOBufferInfo> buffers_;  // inputs first, then outputs
  ASIOCallbacks callbacks_{};

  WavData play_;
  size_t playFrame_ = 0;
  uint64_t outputFrame_ = 0;
  std::vector<double> phase_;
  std::vector<int32_t> recorded_, played_;
  size_t recordedFrames_ = 0, playedFrames_ = 0, captureCapacity_ = 0;

  std::vector<CallbackRecord> records_;
  std::atomic<bool> timeInfoAccepted_{false};  // asked for and offered by the driver
  std::atomic<bool> resetRequested_{false};
  // The main thread sleeps on this until the run ends or the driver asks for a reset.
  std::mutex resetLock_;
  std::condition_variable resetSignal_;
  std::atomic<int> rateChanges_{0};
  std::atomic<int> positionFailures_{0};
  std::atomic<int64_t> lastSwitchNs_{0};  // the latest callback's entry, or the start
  int reloads_ = 0;
};
