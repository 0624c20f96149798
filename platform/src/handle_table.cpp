#include "handle_table.h"

#include <mutex>
#include <unordered_map>

namespace vexa::platform {
namespace {

std::mutex tableLock;
std::unordered_map<ULONG_PTR, std::shared_ptr<KernelObject>>& table() {
  static auto* objects = new std::unordered_map<ULONG_PTR, std::shared_ptr<KernelObject>>;
  return *objects;
}
// Multiples of 4 from 0x100, as Windows hands them out; never -1 or the pseudo-handles.
ULONG_PTR nextHandle = 0x100;

}  // namespace

HANDLE insertHandle(std::shared_ptr<KernelObject> object) {
  std::lock_guard<std::mutex> guard(tableLock);
  ULONG_PTR value;
  do {
    value = nextHandle;
    nextHandle = nextHandle >= 0x7FFFFFF0 ? 0x100 : nextHandle + 4;
  } while (table().count(value) != 0);
  table().emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(tableLock);
  auto found = table().find(reinterpret_cast<ULONG_PTR>(handle));
  if (found == table().end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return found->second;
}

std::shared_ptr<KernelObject> removeHandle(HANDLE handle) {
  std::lock_guard<std::mutex> guard(tableLock);
  auto found = table().find(reinterpret_cast<ULONG_PTR>(handle));
  if (found == table().end()) return nullptr;
  auto object = std::move(found->second);
  table().erase(found);
  return object;
}

}  // namespace vexa::platform

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
  auto object = vexa::platform::removeHandle(hObject);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  object->onClose();
  return TRUE;
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto object = vexa::platform::lookupHandle(hHandle);
  if (!object) return WAIT_FAILED;
  return object->wait(dwMilliseconds);
}
