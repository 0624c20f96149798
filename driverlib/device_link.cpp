#include "device_link.h"

#include <string.h>

BOOL deviceRequest(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                   DWORD* returned) {
  DWORD bytes = 0;
  BOOL ok = DeviceIoControl(handle, code, in, inSize, out, outSize, &bytes, nullptr);
  if (returned) *returned = bytes;
  return ok;
}

DeviceLink::DeviceLink() : handle(INVALID_HANDLE_VALUE) { memset(&config, 0, sizeof config); }

DeviceLink::~DeviceLink() { close(); }

OpenResult DeviceLink::open(DWORD bufferSize) {
  handle = CreateFileA(VV_DEVICE_NAME, 0, 0, nullptr, VV_OPEN_DISPOSITION, VV_OPEN_FLAGS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return NotAvailable;

  DWORD version = 0xFFFFFFFF;
  DWORD bytes = 0;
  if (!deviceRequest(handle, IOCTL_VV_GET_VERSION, nullptr, 0, &version, sizeof version, &bytes) ||
      bytes == 0 || version != 0)
    return VersionMismatch;

  memset(&config, 0, sizeof config);
  config.bufferBytes = bufferSize * 4;
  BOOL ok = deviceRequest(handle, IOCTL_VV_OPEN_STREAM, &config, sizeof config, &config,
                          sizeof config, &bytes);
  // Whatever came back sits in the record, whether the request succeeded or not.
  clampChannelCounts();
  return ok && bytes != 0 ? Ok : InUse;
}

int DeviceLink::setBuffers(DWORD bufferBytes) {
  DWORD bytes = 0;
  BOOL ok = deviceRequest(handle, IOCTL_VV_SET_BUFFERS, &bufferBytes, sizeof bufferBytes, &config,
                          sizeof config, &bytes);
  clampChannelCounts();
  return ok && bytes == sizeof config ? 0 : 1;
}

BOOL DeviceLink::selectInternalClock() {
  return deviceRequest(handle, IOCTL_VV_SELECT_INTERNAL_CLOCK, nullptr, 0, nullptr, 0);
}

BOOL DeviceLink::selectSpdifClock() {
  return deviceRequest(handle, IOCTL_VV_SELECT_SPDIF_CLOCK, nullptr, 0, nullptr, 0);
}

bool DeviceLink::isSpdifSlaved() {
  DWORD mode = 0;
  return deviceRequest(handle, IOCTL_VV_GET_CLOCK_MODE, nullptr, 0, &mode, sizeof mode) &&
         mode != 0;
}

void DeviceLink::close() {
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
}

// A reply claiming more channels than the record holds would send every caller past its
// entries; the record's own capacity is the most that can be trusted.
void DeviceLink::clampChannelCounts() {
  if (config.numInputs > kMaxStreamChannels) config.numInputs = kMaxStreamChannels;
  if (config.numOutputs > kMaxStreamChannels) config.numOutputs = kMaxStreamChannels;
}
