#include "llva_vxd_device.h"

#include "live_clients.h"
#include "meter_errors.h"

#include <stdint.h>

namespace {

const char kDeviceName[] = "\\\\.\\TX_VV.VXD";

bool Request(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
             DWORD* returned) {
  *returned = 0;
  return DeviceIoControl(handle, code, in, inSize, out, outSize, returned, nullptr) != FALSE;
}

}  // namespace

LLVAVxDDevice::LLVAVxDDevice(MeterCallbackTarget* meterContext, MeterDataCallback meterCallback,
                             LONG initialSampleRate)
    : meterContext_(meterContext), meterCallback_(meterCallback), sampleRate_(initialSampleRate) {
  HANDLE handle = CreateFileA(kDeviceName, 0, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) throw LLVANotInstalledError();
  handle_ = handle;

  // A client that failed half-way must not keep the driver open until the process ends.
  try {
    DWORD bytes = 0;
    DWORD version = 0xFFFFFFFF;
    if (!Request(handle_, IOCTL_LLVA_GET_VERSION, nullptr, 0, &version, sizeof version, &bytes) ||
        bytes == 0 || version != 0)
      throw LLVAVersionMismatchError();

    DeviceInfoRecord info = {};
    if (!Request(handle_, IOCTL_LLVA_GET_INFO, nullptr, 0, &info, sizeof info, &bytes) ||
        bytes == 0)
      throw LLVANotInstalledError();
    if (info.supported == 0 || info.unsupported != 0) throw LLVAUnsupportedHWError();

    sampleRate_ = static_cast<LONG>(info.sampleRate);
    serial_ = live_clients::Add(this);
  } catch (...) {
    CloseHandle(handle_);
    handle_ = nullptr;
    throw;
  }
}

LLVAVxDDevice::~LLVAVxDDevice() { Close(); }

void LLVAVxDDevice::Close() {
  if (handle_ == nullptr) return;
  live_clients::Remove(this);
  try {
    Stop();
  } catch (const AnyError&) {
    // Closing goes on: the handle must go whether or not the driver took the stop.
  }
  CloseHandle(handle_);
  handle_ = nullptr;
}

void LLVAVxDDevice::Command(DWORD code, const char* failureText) {
  DWORD bytes = 0;
  if (!Request(handle_, code, nullptr, 0, nullptr, 0, &bytes)) throw NonfatalError(failureText);
}

LONG LLVAVxDDevice::Query(DWORD code, const char* failureText) {
  LONG word = 0;
  DWORD bytes = 0;
  if (!Request(handle_, code, nullptr, 0, &word, sizeof word, &bytes))
    throw NonfatalError(failureText);
  return word;
}

void LLVAVxDDevice::Start() {
  MeterStartRecord record = {
      static_cast<DWORD>(reinterpret_cast<uintptr_t>(&LLVAVxDDevice::NotificationRoutine)),
      static_cast<DWORD>(reinterpret_cast<uintptr_t>(this))};
  // The card driver queues notifications to this thread only after the request below, so they
  // come after this mark; what comes before it was meant for an earlier client.
  if (!QueueUserAPC(&LLVAVxDDevice::BeginReceiving, GetCurrentThread(), serial_))
    live_clients::Open(serial_);
  DWORD bytes = 0;
  if (!Request(handle_, IOCTL_LLVA_START, &record, sizeof record, nullptr, 0, &bytes))
    throw NonfatalError("VxD start failed");
}

void LLVAVxDDevice::Stop() { Command(IOCTL_LLVA_STOP, "VxD start failed"); }

LONG LLVAVxDDevice::GetSampleRate() { return sampleRate_; }

void LLVAVxDDevice::SetSampleRate(LONG rate) {
  DWORD bytes = 0;
  if (!Request(handle_, IOCTL_LLVA_SET_SAMPLE_RATE, &rate, sizeof rate, nullptr, 0, &bytes))
    throw NonfatalError("VxD sample rate set failed");
}

void LLVAVxDDevice::SetRoute(LONG mode) {
  // The card knows five routing modes; anything else is refused before it reaches the driver.
  if (mode < 0 || mode >= kRouteModes) throw NonfatalError("VxD route set failed");
  DWORD bytes = 0;
  if (!Request(handle_, IOCTL_LLVA_SET_ROUTE, &mode, sizeof mode, nullptr, 0, &bytes))
    throw NonfatalError("VxD route set failed");
}

LONG LLVAVxDDevice::GetRoute() { return Query(IOCTL_LLVA_GET_ROUTE, "VxD route get failed"); }

void LLVAVxDDevice::EngageSlave() {
  Command(IOCTL_LLVA_ENGAGE_SLAVE, "VxD S/PDIF slave engage failed");
}

void LLVAVxDDevice::DisableSlave() {
  Command(IOCTL_LLVA_DISABLE_SLAVE, "VxD S/PDIF slave disable failed");
}

LONG LLVAVxDDevice::GetSlaveStatus() {
  return Query(IOCTL_LLVA_GET_SLAVE_STATUS, "VxD S/PDIF slave status check failed");
}

void LLVAVxDDevice::SetSampleRateCallback(MeterCallbackTarget* context,
                                          SampleRateCallback callback) {
  rateContext_ = context;
  rateCallback_ = callback;
}

void LLVAVxDDevice::UnplugCard() { Command(IOCTL_LLVA_UNPLUG_CARD, "PCI card unplugging failed!"); }

int LLVAVxDDevice::GetCardState() {
  DWORD state = 0;
  DWORD bytes = 0;
  if (!Request(handle_, IOCTL_LLVA_GET_CARD_STATE, nullptr, 0, &state, sizeof state, &bytes) ||
      bytes != sizeof state)
    return 1;
  if (state == 0) return 0;
  if (state == 2) return 2;
  return 1;
}

int LLVAVxDDevice::ExchangeRecord(DWORD* record) {
  const DWORD kRecordBytes = 20;
  if (record == nullptr) return 1;
  record[0] = IOCTL_LLVA_EXCHANGE_RECORD;
  DWORD bytes = 0;
  if (!Request(handle_, IOCTL_LLVA_EXCHANGE_RECORD, record, kRecordBytes, nullptr, 0, &bytes) ||
      bytes != kRecordBytes)
    return 1;
  return 0;
}
