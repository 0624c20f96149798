#include "channel_pair_meter.h"

ChannelPairMeter::ChannelPairMeter(int32_t ballistics, int32_t clipBits, int32_t clipCount)
    : clipCount_(clipCount) {
  for (auto& channel : ballistics_) {
    channel = MakeBallistics(ballistics);
    channel->SetClipBits(clipBits);
  }
}

void ChannelPairMeter::OnMeterData(const int32_t* channel1, const int32_t* channel2,
                                   int32_t count) {
  if (device_ == nullptr) return;
  // Without a clock the samples mean nothing; the meters hold their values.
  const int32_t rate = device_->GetSampleRate();
  if (rate == 0) return;
  Feed(0, channel1, count, rate);
  Feed(1, channel2, count, rate);
  ++blocks_;
}

void ChannelPairMeter::Feed(int channel, const int32_t* samples, int32_t count, int32_t rate) {
  MeterBallistics& meter = *ballistics_[channel];
  meter.Process(samples, count, rate);
  if (meter.LongestClipRun() >= clipCount_) lamps_[channel] = true;
}

void ChannelPairMeter::OnSampleRateChange(int32_t) { ++rateChanges_; }

double ChannelPairMeter::LevelDb(int channel) const {
  const double db = ballistics_[channel]->LevelDb();
  return db > 0.0 ? 0.0 : db;
}

double ChannelPairMeter::PeakDb(int channel) const {
  const double db = ballistics_[channel]->PeakDb();
  return db > 0.0 ? 0.0 : db;
}
