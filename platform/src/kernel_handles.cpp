#include "handle_table.h"

#include <vexa/device_backend.h>

#include <strings.h>

#include <atomic>
#include <mutex>
#include <shared_mutex>

namespace vexa::platform {
namespace {

constexpr char kCardDeviceName[] = "\\\\.\\TX_VV.VXD";

// Held shared while a backend opens a connection, exclusively while the backend is swapped,
// so a test's backend is never used after it has uninstalled itself.
std::shared_mutex backendLock;
DeviceBackend* installedBackend = nullptr;

class DeviceHandle : public KernelObject {
public:
  static constexpr Kind kKind = Kind::Device;

  explicit DeviceHandle(std::shared_ptr<DeviceConnection> connection)
      : KernelObject(kKind), connection(std::move(connection)) {}

  void onClose() override {
    closed = true;
    connection->close();
  }
  DWORD wait(DWORD) override {
    SetLastError(ERROR_NOT_SUPPORTED);
    return WAIT_FAILED;
  }

  // Calls in flight hold a reference to the handle object, and so to its connection, which
  // outlives a concurrent close.
  const std::shared_ptr<DeviceConnection> connection;
  std::atomic<bool> closed{false};
};

bool isDeviceName(LPCSTR name) { return strncmp(name, "\\\\.\\", 4) == 0; }

}  // namespace

void setDeviceBackend(DeviceBackend* backend) {
  std::unique_lock<std::shared_mutex> guard(backendLock);
  installedBackend = backend;
}

}  // namespace vexa::platform

extern "C" HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD, DWORD, LPSECURITY_ATTRIBUTES,
                                     DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                     HANDLE) {
  using namespace vexa::platform;
  if (!lpFileName || dwCreationDisposition < CREATE_NEW ||
      dwCreationDisposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  if (!isDeviceName(lpFileName)) {
    // Files are not part of this platform; only the card driver is.
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  if (strcasecmp(lpFileName, kCardDeviceName) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Requests are synchronous only.
  if (dwFlagsAndAttributes & FILE_FLAG_OVERLAPPED) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }

  std::unique_ptr<DeviceConnection> opened;
  {
    std::shared_lock<std::shared_mutex> guard(backendLock);
    DeviceBackend* backend = installedBackend ? installedBackend : productionDeviceBackend();
    if (!backend) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    opened = backend->open();
  }
  if (!opened) {
    // A backend may say why; otherwise the driver is simply not there.
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto device =
      std::make_shared<DeviceHandle>(std::shared_ptr<DeviceConnection>(std::move(opened)));
  HANDLE handle = insertHandle(device);
  if (!handle) {
    device->onClose();
    return INVALID_HANDLE_VALUE;
  }
  return handle;
}

extern "C" VEXA_STREAMING_PATH BOOL WINAPI
DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                LPOVERLAPPED lpOverlapped) {
  using namespace vexa::platform;
  auto device = lookupHandleAs<DeviceHandle>(hDevice);
  if (!device) return FALSE;
  if (lpOverlapped) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  if (!lpBytesReturned || (!lpInBuffer && nInBufferSize != 0) ||
      (!lpOutBuffer && nOutBufferSize != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpBytesReturned = 0;
  SetLastError(ERROR_SUCCESS);
  DWORD returned = 0;
  if (!device->connection->control(dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                                   nOutBufferSize, &returned)) {
    *lpBytesReturned = returned;
    if (device->closed)
      SetLastError(ERROR_OPERATION_ABORTED);
    else if (GetLastError() == ERROR_SUCCESS)
      SetLastError(ERROR_GEN_FAILURE);
    return FALSE;
  }
  // The driver's count is passed on as it is: callers judge a reply by it.
  *lpBytesReturned = returned;
  return TRUE;
}
