// Delivery of the card driver's notifications to the client that started them.
#include "live_clients.h"
#include "llva_vxd_device.h"

#include <stdint.h>

void CALLBACK LLVAVxDDevice::NotificationRoutine(ULONG_PTR address) {
  if (address == 0) return;
  const MeterNotification record = *reinterpret_cast<const MeterNotification*>(address);
  auto* client = reinterpret_cast<LLVAVxDDevice*>(static_cast<uintptr_t>(record.context));
  if (client == nullptr) return;
  // A notification queued before its client was closed must not touch the freed object.
  if (!live_clients::Contains(client)) return;
  client->Dispatch(record);
}

void LLVAVxDDevice::Dispatch(const MeterNotification& record) {
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
  if (live_clients::Contains(this)) Acknowledge();
}

void LLVAVxDDevice::Acknowledge() {
  DWORD bytes = 0;
  DeviceIoControl(handle_, IOCTL_LLVA_ACKNOWLEDGE, nullptr, 0, nullptr, 0, &bytes, nullptr);
}
