// The process's kernel-object handles (card-driver connections and threads). A HANDLE names a
// slot of this table, never a pointer, so a stale or forged handle is refused, not followed.
#pragma once

#include <windows.h>

#include "streaming_path.h"

#include <memory>

namespace vexa::platform {

class KernelObject {
public:
  enum class Kind { Device, Thread };

  explicit KernelObject(Kind kind) : kind(kind) {}
  virtual ~KernelObject() = default;
  // The handle is being closed: wake anyone blocked on it.
  virtual void onClose() {}
  // WaitForSingleObject; objects that cannot be waited on fail.
  virtual DWORD wait(DWORD /*milliseconds*/) { return WAIT_FAILED; }

  const Kind kind;
};

// Null (and ERROR_NO_SYSTEM_RESOURCES) when the table is full.
HANDLE insertHandle(std::shared_ptr<KernelObject> object);
// Null (and ERROR_INVALID_HANDLE) for an unknown handle.
VEXA_STREAMING_PATH std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);
// Removes the handle; null when it was not in the table.
std::shared_ptr<KernelObject> removeHandle(HANDLE handle);

// Null (and ERROR_INVALID_HANDLE) unless the handle names a T.
template <typename T>
std::shared_ptr<T> lookupHandleAs(HANDLE handle) {
  auto object = lookupHandle(handle);
  if (!object || object->kind != T::kKind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(std::move(object));
}

}  // namespace vexa::platform
