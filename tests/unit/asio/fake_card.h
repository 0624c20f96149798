// A card behind the device double for the ASIO driver's tests: it answers the open exchange
// with a configuration whose half buffers and status block live in this process, and lets a
// test complete half-buffer waits one at a time.
#pragma once

#include <device_double.h>
#include <private_registry.h>

#include <vector>

#include "device_records.h"
#include "settings_key.h"

struct FakeCard {
  explicit FakeCard(DWORD inputs = 4, DWORD outputs = 4, DWORD minFrames = 32)
      : buffers((inputs + outputs) * 2 * 8192) {
    config = StreamConfig{};
    config.bufferBytes = 256 * 4;
    config.numInputs = inputs;
    config.numOutputs = outputs;
    config.minBufferSize = minFrames;
    config.status = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(&status));
    DWORD channel = 0;
    for (DWORD i = 0; i < inputs; i++, channel++) config.inputs[i] = pairFor(channel);
    for (DWORD i = 0; i < outputs; i++, channel++) config.outputs[i] = pairFor(channel);
    status = StreamStatus{};

    device.reply(IOCTL_VV_GET_VERSION, {true, -1, {0}, {}});
    device.reply(IOCTL_VV_OPEN_STREAM, configReply());
    device.reply(IOCTL_VV_SET_BUFFERS, configReply());
    device.reply(IOCTL_VV_GET_SAMPLE_RATE, {true, -1, {48000}, {}});
    device.blockRequests(IOCTL_VV_WAIT_HALF_BUFFER);
  }

  vexa::testing::DeviceReply configReply() const {
    vexa::testing::DeviceReply reply;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&config);
    reply.data.assign(bytes, bytes + sizeof config);
    return reply;
  }

  void storeBufferSize(DWORD frames) { SettingsKey(ASIO_SETTINGS_KEY).writeBufferSize(frames); }

  bool workerWaiting() { return device.waitForBlocked(IOCTL_VV_WAIT_HALF_BUFFER, 1, 10000); }

  // Completes one half-buffer wait as the card does when `half` has completed, and returns
  // once the worker has handed it on and waits again.
  bool completeHalf(DWORD half, DWORD sampleCount, DWORD milliseconds, DWORD rate = 48000,
                    DWORD rateChanged = 0) {
    if (!workerWaiting()) return false;
    status.currentHalf = half ^ 1;
    status.completedHalves++;
    status.halves[half].sampleCount = sampleCount;
    status.halves[half].time = milliseconds;
    return wake(rate, rateChanged);
  }

  // Completes a wait without a new half.
  bool wake(DWORD rate, DWORD rateChanged) {
    if (!workerWaiting()) return false;
    if (!device.complete(IOCTL_VV_WAIT_HALF_BUFFER, {true, -1, {rate, rateChanged}, {}}))
      return false;
    return workerWaiting();
  }

  size_t sent(DWORD code) const { return device.count(code); }

  // The last request with this code; its input is empty when there was none.
  vexa::testing::DeviceRequest last(DWORD code) const {
    auto all = device.requests();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
      if (it->code == code) return *it;
    return {};
  }

  void* halfAddress(bool input, DWORD channel, int half) const {
    return addressOf((input ? config.inputs : config.outputs)[channel].half[half]);
  }

  vexa::testing::PrivateRegistry registry;
  vexa::testing::DeviceDouble device;
  StreamConfig config;
  StreamStatus status;

private:
  HalfBufferPair pairFor(DWORD channel) {
    HalfBufferPair pair;
    for (int h = 0; h < 2; h++)
      pair.half[h] = static_cast<DWORD>(
          reinterpret_cast<ULONG_PTR>(&buffers[(channel * 2 + h) * 8192]));
    return pair;
  }
  std::vector<int32_t> buffers;
};
