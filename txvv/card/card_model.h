// The card itself: clocks and rates, the stream's half buffers with their status block, the
// input signals, output capture, and the two channels the meter taps. No locking and no I/O:
// the card service drives it under its lock, the clock tells it how many frames have passed.
#pragma once

#include "card_options.h"
#include "shared_region.h"
#include "signal_source.h"
#include "wav_file.h"

#include <device_records.h>

#include <memory>
#include <vector>

namespace txvv {

// Stream memory: the status block, then every channel's two halves, packed at the current
// half size (rounded to cache lines). Halves at the largest size would put each on pages of
// its own, all at the same cache sets, and a streaming client would pay misses for it.
constexpr uint32_t kStatusAreaBytes = 4096;
constexpr uint32_t kLargestHalfStride = kMaxHalfFrames * 4;

class CardModel {
public:
  explicit CardModel(const CardOptions& options);
  // False with *error set when a signal or capture file cannot be opened.
  bool prepare(std::string* error);

  const CardOptions& options() const { return options_; }

  // Clock and rate. The rate is 0 ("no clock") when slaved without an S/PDIF input.
  uint32_t rate() const;
  uint32_t internalRate() const { return internalRate_; }
  void setInternalRate(uint32_t rate) {
    internalRate_ = rate;
    followRate();
  }
  bool slaved() const { return slaved_; }
  void setSlaved(bool slaved) {
    slaved_ = slaved;
    followRate();
  }
  bool spdifPresent() const { return spdifPresent_; }
  uint32_t spdifRate() const { return spdifRate_; }
  void setSpdifInput(bool present, uint32_t rate);
  uint32_t routing() const { return routing_; }
  void setRouting(uint32_t mode) { routing_ = mode; }

  // The stream's memory exists from the claim to the release; a new claim gets new memory.
  bool claimStream();
  void releaseStream();
  bool streamClaimed() const { return region_ != nullptr; }
  const SharedRegion* streamRegion() const { return region_.get(); }
  // The StreamConfig with addresses as offsets into the stream region.
  void describeStream(StreamConfig* config) const;
  uint32_t bufferFrames() const { return bufferFrames_; }
  // The claim and IOCTL_VV_SET_BUFFERS alike: the size asked for, held within the smallest and
  // the largest half, so that a host gets exactly the size it asked for whenever it can be had.
  void setBufferFrames(uint32_t asked);
  uint32_t nearestBufferFrames(uint32_t frames) const;

  void start();
  void stop();
  bool running() const { return running_; }
  uint32_t completedHalves() const { return completedHalves_; }
  uint32_t currentHalf() const { return currentHalf_; }
  uint32_t sampleCount() const { return sampleCount_; }
  void setSampleCount(uint32_t count) { sampleCount_ = count; }
  uint32_t framesIntoHalf() const { return posInHalf_; }

  struct Events {
    bool halfCompleted = false;
    bool meterBlockReady = false;
  };
  // The largest step advance() takes before something completes.
  uint32_t framesToNextEvent() const;
  // n frames of audio pass (n <= framesToNextEvent()); msNow stamps a completed half.
  Events advance(uint32_t n, uint32_t msNow);

  // The last completed meter block: channel 0 or 1, meterBlockFrames samples.
  const int32_t* meterBlock(int channel) const { return tap_[channel].data(); }
  uint32_t meterBlockFrames() const { return blockFrames_; }

private:
  // Where half `which` of channel `index` (inputs first, then outputs) starts in the memory.
  size_t halfOffset(uint32_t index, uint32_t which) const {
    uint32_t stride = (bufferFrames_ * 4 + 63) / 64 * 64;
    return kStatusAreaBytes + (size_t(index) * 2 + which) * stride;
  }

  int32_t* half(bool output, uint32_t channel, uint32_t which) const;
  void tapChannels(uint32_t* first, uint32_t* second, bool* outputs) const;
  // A new rate may mean a new block size; a block begun at the old one is dropped.
  void followRate();

  CardOptions options_;
  uint32_t internalRate_;
  bool slaved_;
  bool spdifPresent_;
  uint32_t spdifRate_;
  uint32_t routing_;

  std::unique_ptr<SharedRegion> region_;
  uint32_t bufferFrames_ = 0;
  bool running_ = false;
  uint32_t posInHalf_ = 0;
  uint32_t currentHalf_ = 0;
  uint32_t completedHalves_ = 0;
  uint32_t sampleCount_;

  std::vector<SignalSource> signals_;
  std::vector<std::unique_ptr<WavWriter>> captures_;
  std::vector<std::vector<int32_t>> scratchIn_;
  std::vector<int32_t> silence_;
  std::vector<const int32_t*> played_;
  std::vector<int32_t> tap_[2];
  uint32_t tapFill_ = 0;
  uint32_t blockFrames_;
};

}  // namespace txvv
