// A card behind the device double with memory of the test's own for the status block and the
// half buffers, and an EASI host that records what the driver calls back.
#pragma once

#include "easi_driver.h"
#include "settings_key.h"

#include <device_double.h>
#include <private_registry.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

namespace easi_test {

using vexa::testing::DeviceDouble;
using vexa::testing::DeviceReply;

inline DeviceReply words(std::vector<uint32_t> values) {
  DeviceReply reply;
  reply.words = std::move(values);
  reply.bytes = static_cast<long>(reply.words.size() * 4);
  return reply;
}

inline DeviceReply failure() {
  DeviceReply reply;
  reply.ok = false;
  reply.bytes = 0;
  return reply;
}

struct CardLayout {
  DWORD inputs = 4;
  DWORD outputs = 4;
  DWORD frames = 256;
  DWORD minimum = 32;
};

class FakeCard {
public:
  explicit FakeCard(CardLayout layout = {}) : layout_(layout) {
    memory_.assign((layout.inputs + layout.outputs) * 2 * layout.frames + 1, 0);
    config = {};
    config.bufferBytes = layout.frames * 4;
    config.numInputs = layout.inputs;
    config.numOutputs = layout.outputs;
    DWORD next = 0;
    for (DWORD j = 0; j < layout.inputs; ++j)
      for (int h = 0; h < 2; ++h) config.inputs[j].half[h] = address(next++);
    for (DWORD j = 0; j < layout.outputs; ++j)
      for (int h = 0; h < 2; ++h) config.outputs[j].half[h] = address(next++);
    config.status = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(&status));
    config.minBufferSize = layout.minimum;

    // A card that is not streaming never wakes the streaming thread.
    device.blockRequests(IOCTL_VV_WAIT_HALF_BUFFER);
    device.reply(IOCTL_VV_GET_VERSION, words({0}));
    answerOpenWith(config);
    setPosition(0);
  }

  void answerOpenWith(const StreamConfig& reply) {
    DeviceReply open;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&reply);
    open.data.assign(bytes, bytes + sizeof reply);
    device.reply(IOCTL_VV_OPEN_STREAM, open);
  }

  // The two words of the position reply add up to `position`.
  void setPosition(DWORD position) { device.reply(IOCTL_VV_GET_POSITION, words({position - 7, 7})); }

  void storeBufferSize(DWORD frames) { SettingsKey(EASI_SETTINGS_KEY).writeBufferSize(frames); }

  DWORD address(DWORD block) const {
    return static_cast<DWORD>(
        reinterpret_cast<ULONG_PTR>(memory_.data() + block * layout_.frames));
  }

  // Lets the streaming thread go round once and waits until it waits again, so that it has
  // finished with the wake-up (and any callback) when this returns.
  bool wakeStreamingThread() {
    if (!device.waitForBlocked(IOCTL_VV_WAIT_HALF_BUFFER, 1)) return false;
    if (!device.complete(IOCTL_VV_WAIT_HALF_BUFFER, words({48000, 0}))) return false;
    return device.waitForBlocked(IOCTL_VV_WAIT_HALF_BUFFER, 1);
  }

  // Fails the waits from now on, so a streaming thread ends at once and closing is quick.
  void endStreamingThread() {
    device.reply(IOCTL_VV_WAIT_HALF_BUFFER, failure());
    device.blockRequests(IOCTL_VV_WAIT_HALF_BUFFER, false);
    while (device.complete(IOCTL_VV_WAIT_HALF_BUFFER, failure())) {
    }
  }

  size_t requestsWith(DWORD code) const { return device.count(code); }

  vexa::testing::PrivateRegistry registry;
  DeviceDouble device;
  StreamStatus status{};
  StreamConfig config;

private:
  CardLayout layout_;
  std::vector<uint32_t> memory_;
};

// The host's callback object, also the driver's outer unknown when aggregated.
class RecordingHost : public IEasiHost {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualGUID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    if (inner) return inner->QueryInterface(iid, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

  LONG STDMETHODCALLTYPE halfBufferDone(LONG half) override {
    {
      std::lock_guard<std::mutex> guard(lock_);
      halves_.push_back(half);
      threads_.push_back(GetCurrentThreadId());
    }
    if (onCallback) onCallback(half);
    return 0;
  }

  std::vector<LONG> halves() const {
    std::lock_guard<std::mutex> guard(lock_);
    return halves_;
  }
  std::vector<DWORD> threads() const {
    std::lock_guard<std::mutex> guard(lock_);
    return threads_;
  }
  void forget() {
    std::lock_guard<std::mutex> guard(lock_);
    halves_.clear();
    threads_.clear();
  }

  std::atomic<long> references{1};
  IUnknown* inner = nullptr;
  std::function<void(LONG)> onCallback;

private:
  mutable std::mutex lock_;
  std::vector<LONG> halves_;
  std::vector<DWORD> threads_;
};

}  // namespace easi_test
