// A card double that accepts the meter client, and a callback target that records calls.
#pragma once

#include "llva_vxd_device.h"
#include "meter_records.h"

#include <device_double.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

struct MeterDataCall {
  const int32_t* channel1;
  const int32_t* channel2;
  int32_t count;
  DWORD thread;
};

// The meter window derives from the toolkit's frame first; its callbacks must still find the
// whole object.
class WindowLike {
public:
  virtual ~WindowLike() = default;
  int windowState = 1234;
};

class CallRecorder : public WindowLike, public MeterCallbackTarget {
public:
  void OnMeterData(const int32_t* channel1, const int32_t* channel2, int32_t count) {
    EXPECT_EQ(windowState, 1234);
    data.push_back({channel1, channel2, count, GetCurrentThreadId()});
    if (throwFromCallback) throw std::runtime_error("callback failed");
  }
  void OnSampleRateChange(int32_t rate) {
    EXPECT_EQ(windowState, 1234);
    rates.push_back(rate);
  }

  std::vector<MeterDataCall> data;
  std::vector<int32_t> rates;
  bool throwFromCallback = false;
};

inline MeterDataCallback RecordData() {
  return static_cast<MeterDataCallback>(&CallRecorder::OnMeterData);
}

inline SampleRateCallback RecordRate() {
  return static_cast<SampleRateCallback>(&CallRecorder::OnSampleRateChange);
}

class MeterDeviceTest : public ::testing::Test {
protected:
  MeterDeviceTest() { AcceptCard(48000); }

  void AcceptCard(DWORD rate) {
    card.reply(IOCTL_LLVA_GET_VERSION, {true, 4, {0}, {}});
    card.reply(IOCTL_LLVA_GET_INFO, {true, 48, {0, 1, 0, 0, 0, 0, rate}, {}});
  }

  // Starts the client and lets its start reach the front of the thread's queue, as the first
  // alertable wait after Start does: from there on the card's notifications reach it.
  static void Started(LLVAVxDDevice& client) {
    client.Start();
    SleepEx(0, TRUE);
  }

  // Requests with this code, in the order sent.
  std::vector<vexa::testing::DeviceRequest> Sent(DWORD code) const {
    std::vector<vexa::testing::DeviceRequest> out;
    for (const auto& request : card.requests())
      if (request.code == code) out.push_back(request);
    return out;
  }

  vexa::testing::DeviceDouble card;
  CallRecorder recorder;
};
