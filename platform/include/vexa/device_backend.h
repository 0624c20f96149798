// Where a handle opened with CreateFileA on \\.\TX_VV.VXD sends its requests.
// Production: the simulated card daemon. Tests: an in-process device double.
#pragma once

#include <windows.h>

#include <memory>

namespace vexa::platform {

// One open handle on the card driver. control() may be called from several threads at once
// and may block (the half-buffer wait); after close() every blocked and later call fails.
// TerminateThread can end a thread blocked in control(): the thread unwinds from its blocking
// call, so whatever a call holds must be released by destructors, and no noexcept frame may sit
// between the blocking call and control() (vexa/cancellable_wait.h waits that way).
class DeviceConnection {
public:
  virtual ~DeviceConnection() = default;
  virtual bool control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                       DWORD* returned) = 0;
  virtual void close() = 0;
};

class DeviceBackend {
public:
  virtual ~DeviceBackend() = default;
  // Null when the card driver is not available.
  virtual std::unique_ptr<DeviceConnection> open() = 0;
};

// Installs a backend for this process (tests); null restores the production backend.
// The caller keeps ownership and must uninstall it before destroying it.
void setDeviceBackend(DeviceBackend* backend);

// The production backend: the simulated card (null until it is built in).
DeviceBackend* productionDeviceBackend();

}  // namespace vexa::platform
