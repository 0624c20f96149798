// How the device client calls back into the meter window. The window derives from
// MeterCallbackTarget and registers its own members, e.g.
//   static_cast<MeterDataCallback>(&MeterFrame::OnMeterData)
// A callback and its target are one unit: the client calls it only when both are set.
#pragma once

#include <stdint.h>

class MeterCallbackTarget {
protected:
  ~MeterCallbackTarget() = default;
};

// Channel-1 block, channel-2 block, samples in each block. The blocks belong to the card
// driver and are readable only during the call.
typedef void (MeterCallbackTarget::*MeterDataCallback)(const int32_t* channel1,
                                                      const int32_t* channel2, int32_t count);

// The new sample rate in Hz; 0 means the card has no clock.
typedef void (MeterCallbackTarget::*SampleRateCallback)(int32_t rate);
