// The meter program's handling of meter data, without a window: both channels' ballistics,
// the clip lamps and the longest clip runs since start.
#pragma once

#include "llva_device.h"
#include "meter_ballistics.h"
#include "meter_callbacks.h"

#include <memory>

class ChannelPairMeter : public MeterCallbackTarget {
public:
  ChannelPairMeter(int32_t ballistics, int32_t clipBits, int32_t clipCount);

  // Set once the device client exists; data is ignored before.
  void SetDevice(LLVADevice* device) { device_ = device; }

  void OnMeterData(const int32_t* channel1, const int32_t* channel2, int32_t count);
  void OnSampleRateChange(int32_t rate);

  // Levels and peaks as the meter shows them (never above 0 dB).
  double LevelDb(int channel) const;
  double PeakDb(int channel) const;
  int32_t LongestClipRun(int channel) const { return ballistics_[channel]->LongestClipRun(); }
  bool ClipLamp(int channel) const { return lamps_[channel]; }
  const char* ModeName() const { return ballistics_[0]->Name(); }

  uint32_t Blocks() const { return blocks_; }
  int32_t RateChanges() const { return rateChanges_; }

private:
  void Feed(int channel, const int32_t* samples, int32_t count, int32_t rate);

  LLVADevice* device_ = nullptr;
  std::unique_ptr<MeterBallistics> ballistics_[2];
  bool lamps_[2] = {false, false};
  int32_t clipCount_;
  uint32_t blocks_ = 0;
  int32_t rateChanges_ = 0;
};
