// Delivery of the card driver's notifications to the client that started them.
#include "live_clients.h"
#include "llva_vxd_device.h"

#include <stdint.h>

void CALLBACK LLVAVxDDevice::NotificationRoutine(ULONG_PTR address) {
  if (address == 0) return;
  const MeterNotification record = *reinterpret_cast<const MeterNotification*>(address);
  auto* client = reinterpret_cast<LLVAVxDDevice*>(static_cast<uintptr_t>(record.context));
  if (client == nullptr) return;
  // A notification queued before its client was closed must not touch the freed object, nor
  // a later client at the same address, nor be acknowledged on that client's handle.
  const uint32_t serial = live_clients::Receiving(client);
  if (serial == 0) return;
  client->Dispatch(record, serial);
}

void CALLBACK LLVAVxDDevice::BeginReceiving(ULONG_PTR serial) {
  live_clients::Open(static_cast<uint32_t>(serial));
}

void LLVAVxDDevice::Dispatch(const MeterNotification& record, uint32_t serial) {
  // The routine runs inside the platform's alertable wait, where an exception has nowhere to
  // go; whatever a callback throws ends here, and the block is still acknowledged so the
  // driver can reuse its slot.
  try {
    switch (record.kind) {
      case kMeterData:
        if (meterContext_ != nullptr && meterCallback_ != nullptr)
          (meterContext_->*meterCallback_)(
              reinterpret_cast<const int32_t*>(static_cast<uintptr_t>(record.word1)),
              reinterpret_cast<const int32_t*>(static_cast<uintptr_t>(record.word2)),
              static_cast<int32_t>(record.count));
        break;
      case kSampleRateChange:
        sampleRate_ = static_cast<LONG>(record.word1);
        if (rateContext_ != nullptr && rateCallback_ != nullptr)
          (rateContext_->*rateCallback_)(static_cast<int32_t>(sampleRate_));
        break;
      default:
        break;
    }
  } catch (...) {
  }
  // A callback may have closed the client.
  if (live_clients::Receiving(this) == serial) Acknowledge();
}

void LLVAVxDDevice::Acknowledge() {
  DWORD bytes = 0;
  DeviceIoControl(handle_, IOCTL_LLVA_ACKNOWLEDGE, nullptr, 0, nullptr, 0, &bytes, nullptr);
}
