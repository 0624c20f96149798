#include "handle_table.h"

#include "futex_lock.h"

#include <mutex>

namespace vexa::platform {
namespace {

// Slots come in chunks, made as the table fills and kept for the life of the process, so a
// lookup is an index, not a search.
constexpr ULONG_PTR kChunkSlots = 1024;
constexpr ULONG_PTR kMaxChunks = 1024;
constexpr ULONG_PTR kMaxSlots = kChunkSlots * kMaxChunks;
// A handle is 0x100 + 4 * (slot + kMaxSlots * generation), multiples of 4 as Windows hands
// them out: never -1, a pseudo-handle or negative. Each reuse of a slot takes the next
// generation, so a closed handle's value comes back only after 511 reuses of its slot.
constexpr ULONG_PTR kFirstHandle = 0x100;
constexpr ULONG_PTR kGenerations = 511;

struct Slot {
  ULONG_PTR handle = 0;  // 0 while free
  ULONG_PTR generation = 0;
  std::shared_ptr<KernelObject> object;
};

FutexLock tableLock;
Slot* chunks[kMaxChunks];
ULONG_PTR slotCount = 0;
// Where the search for a free slot starts: slots are taken in turn, so a freed one waits for
// the others before it is used again.
ULONG_PTR cursor = 0;

Slot* slotOf(HANDLE handle) {
  auto value = reinterpret_cast<ULONG_PTR>(handle);
  if (value < kFirstHandle || (value - kFirstHandle) % 4 != 0) return nullptr;
  ULONG_PTR index = (value - kFirstHandle) / 4 % kMaxSlots;
  if (index >= slotCount) return nullptr;
  Slot* slot = &chunks[index / kChunkSlots][index % kChunkSlots];
  return slot->handle == value ? slot : nullptr;
}

Slot* freeSlot(ULONG_PTR* index) {
  for (ULONG_PTR tried = 0; tried < slotCount; ++tried) {
    ULONG_PTR at = (cursor + tried) % slotCount;
    Slot* slot = &chunks[at / kChunkSlots][at % kChunkSlots];
    if (slot->handle == 0) {
      *index = at;
      cursor = (at + 1) % slotCount;
      return slot;
    }
  }
  if (slotCount == kMaxSlots) return nullptr;
  Slot* chunk = new (std::nothrow) Slot[kChunkSlots];
  if (!chunk) return nullptr;
  chunks[slotCount / kChunkSlots] = chunk;
  *index = slotCount;
  slotCount += kChunkSlots;
  cursor = (*index + 1) % slotCount;
  return chunk;
}

}  // namespace

HANDLE insertHandle(std::shared_ptr<KernelObject> object) {
  std::lock_guard<FutexLock> guard(tableLock);
  ULONG_PTR index;
  Slot* slot = freeSlot(&index);
  if (!slot) {
    SetLastError(ERROR_NO_SYSTEM_RESOURCES);
    return nullptr;
  }
  slot->handle = kFirstHandle + 4 * (index + kMaxSlots * slot->generation);
  slot->object = std::move(object);
  return reinterpret_cast<HANDLE>(slot->handle);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
  {
    std::lock_guard<FutexLock> guard(tableLock);
    if (Slot* slot = slotOf(handle)) return slot->object;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

std::shared_ptr<KernelObject> removeHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> object;
  std::lock_guard<FutexLock> guard(tableLock);
  if (Slot* slot = slotOf(handle)) {
    slot->handle = 0;
    slot->generation = (slot->generation + 1) % kGenerations;
    object = std::move(slot->object);
  }
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
