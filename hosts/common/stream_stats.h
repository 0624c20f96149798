// Figures of one streaming run, from what every callback saw.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct CallbackRecord {
  int64_t wallNs;          // monotonic clock at entry
  uint64_t position;       // getSamplePosition from inside the callback
  uint64_t stampNs;        // its time stamp
  long index;              // the half handed on
  bool viaTimeInfo;
};

struct StreamFigures {
  size_t callbacks = 0;
  size_t timeInfoCallbacks = 0;
  uint64_t halvesCompleted = 0;  // by the card, from the positions
  uint64_t missedHalves = 0;
  size_t irregularSteps = 0;     // position steps other than one buffer
  double periodMeanUs = 0, periodSdUs = 0, periodMinUs = 0, periodMaxUs = 0;
  double lateMedianUs = 0, lateP99Us = 0, lateMaxUs = 0;
};

// Halves the card owed between the last callback (or the start, when none came) and the stop,
// when that silence was longer than a late callback explains: the card died or the stream
// ended early. 0 for a run that streamed to its end.
uint64_t undeliveredHalves(int64_t lastCallbackNs, int64_t stopNs, long bufferSize, double rate);

// Lateness is measured against the ideal grid that the sample positions define at `rate`,
// relative to the earliest callback.
StreamFigures computeFigures(const std::vector<CallbackRecord>& records, long bufferSize,
                             double rate);
