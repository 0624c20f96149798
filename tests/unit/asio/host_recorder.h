// The host side of the ASIO driver's tests: callbacks that record what the driver called, and
// can call back into the driver from inside a buffer switch as real hosts do.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "asio_types.h"
#include "iasio.h"

struct RecordedSwitch {
  long index;
  bool timeInfo;
  ASIOSamples position;   // through getSamplePosition from inside the callback
  ASIOTimeStamp stamp;
  ASIOError positionResult;
  ASIOSamples passedPosition;  // the ASIOTime record's, for bufferSwitchTimeInfo
};

struct HostRecorder {
  static HostRecorder& current();

  HostRecorder();
  ~HostRecorder();

  ASIOCallbacks callbacks(bool withTimeInfo = true);
  std::vector<RecordedSwitch> switches();
  std::vector<double> rateChanges();
  std::vector<long> messages();

  IASIO* driver = nullptr;        // called from inside the callbacks when set
  long supportsTimeInfo = 1;      // the reply to kAsioSupportsTimeInfo
  bool lockHeldDuringRateChange = false;
  size_t switchesAtRateChange = 0;
  CRITICAL_SECTION* streamLock = nullptr;  // probed from another thread during a rate change
  std::atomic<bool> blockInRateChange{false};  // the next rate change never returns

  std::mutex lock;
  std::vector<RecordedSwitch> recorded;
  std::vector<double> rates;
  std::vector<long> selectors;
};
