// The process's kernel-object handles (card-driver connections and threads). A HANDLE is an
// index into this table, never a pointer, so a stale or forged handle is refused, not followed.
#pragma once

#include <windows.h>

#include <memory>

namespace vexa::platform {

class KernelObject {
public:
  virtual ~KernelObject() = default;
  // The handle is being closed: wake anyone blocked on it.
  virtual void onClose() {}
  // WaitForSingleObject; objects that cannot be waited on fail.
  virtual DWORD wait(DWORD /*milliseconds*/) { return WAIT_FAILED; }
};

HANDLE insertHandle(std::shared_ptr<KernelObject> object);
// Null (and ERROR_INVALID_HANDLE) for an unknown handle.
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);
// Removes the handle; null when it was not in the table.
std::shared_ptr<KernelObject> removeHandle(HANDLE handle);

template <typename T>
std::shared_ptr<T> lookupHandleAs(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(lookupHandle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}

}  // namespace vexa::platform
