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

// Halves lost before one callback: position steps longer than one buffer, or a callback that
// came more than a period after its place on the grid.
struct LostHalves {
  int64_t wallNs;  // entry of the callback that came after them (monotonic clock)
  uint64_t halves;
};

struct StreamFigures {
  size_t callbacks = 0;
  size_t timeInfoCallbacks = 0;
  uint64_t halvesCompleted = 0;  // by the card, from the positions
  uint64_t missedHalves = 0;
  size_t irregularSteps = 0;     // position steps other than one buffer
  double periodMeanUs = 0, periodSdUs = 0, periodMinUs = 0, periodMaxUs = 0;
  double lateMedianUs = 0, lateP99Us = 0, lateMaxUs = 0;
  std::vector<LostHalves> losses;  // from the position steps
};

// Halves the card owed between the last callback (or the start, when none came) and the stop,
// when that silence was longer than a late callback explains: the card died or the stream
// ended early. 0 for a run that streamed to its end.
uint64_t undeliveredHalves(int64_t lastCallbackNs, int64_t stopNs, long bufferSize, double rate);

// Lateness is measured against the ideal grid that the sample positions define at `rate`,
// relative to the earliest callback.
StreamFigures computeFigures(const std::vector<CallbackRecord>& records, long bufferSize,
                             double rate);

// For a host whose positions are its count of callbacks (it cannot read the card's): a half
// whose callback began more than a period later than the callbacks after it allow was already
// being played when it was filled.
// Replaces the losses and missedHalves that computeFigures found.
void countLateHalvesLost(const std::vector<CallbackRecord>& records, long bufferSize, double rate,
                         StreamFigures* figures);

// One "LOSS wall_ns=T halves=N" line per loss, for the benchmark to set beside the machine's
// stalls.
void printLosses(const StreamFigures& figures);
