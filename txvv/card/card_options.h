// Everything that shapes the simulated card: its channels, clocks, signals and faults.
#pragma once

#include <stdint.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace txvv {

constexpr uint32_t kMaxChannels = 40;         // entries of a StreamConfig per direction
constexpr uint32_t kMaxHalfFrames = 32768;    // the largest half buffer the card takes
constexpr uint32_t kFullScale24 = 8388607;    // samples are 24-bit values shifted left by 8

struct SignalSetup {
  enum Kind { Silence, Sine, Noise, Wav, Loop };
  Kind kind = Silence;
  double frequency = 1000.0;
  double levelDb = -20.0;  // below full scale
  std::string path;        // Wav
  uint32_t wavChannel = 0;
  uint32_t loopOutput = 0;  // Loop: the output whose samples come back
  uint32_t clipLength = 0;  // a run of full-scale samples...
  uint32_t clipEvery = 0;   // ...at the start of every this many samples (0: none)
};

struct SpdifChange {
  uint32_t afterMs;
  uint32_t rate;  // 0: the input goes away
};

enum class StreamFault { None, Refuse, Empty };

struct CardOptions {
  uint32_t inputs = 4;
  uint32_t outputs = 4;
  uint32_t minBufferFrames = 32;
  uint32_t rate = 44100;
  bool spdifPresent = true;
  uint32_t spdifRate = 44100;
  std::vector<SpdifChange> spdifChanges;
  bool slaved = false;  // the clock follows the S/PDIF input from the start
  std::map<uint32_t, SignalSetup> signals;   // by input; the others are silent
  std::map<uint32_t, std::string> captures;  // by output: WAV file to record to
  uint32_t routing = 0;
  uint32_t meterBlockFrames = 0;  // samples per channel in a meter block; 0: follows the rate
  uint32_t meterSlots = 8;
  uint32_t sampleCountStart = 0;
  bool msStartSet = false;
  uint32_t msStart = 0;
  uint32_t versionWord = 0;
  StreamFault streamFault = StreamFault::None;
  std::set<uint32_t> refusedCodes;
  bool unsupportedHardware = false;
  int rtPriority = 70;  // SCHED_FIFO priority of the clock thread; 0: normal scheduling
};

// The rates the drivers and the meter offer.
bool isSupportedRate(uint32_t rate);

constexpr uint32_t kMinMeterBlockFrames = 32;
constexpr uint32_t kMaxMeterBlockFrames = 8192;
// A block that follows the rate comes this often: lively enough for a meter, and few enough
// notifications that a meter program does not repaint faster than anyone can see.
constexpr uint32_t kMeterBlocksPerSecond = 25;

// Samples per channel in a meter block at `rate` (not 0): the fixed size when one is set.
uint32_t meterBlockFramesAt(const CardOptions& options, uint32_t rate);
// The largest block the card can tap with these options: what block memory must hold.
uint32_t largestMeterBlockFrames(const CardOptions& options);

}  // namespace txvv
