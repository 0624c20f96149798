// A critical section's lock word is its LockCount (0 free, see futex_lock.h); the owner and the
// recursion count are kept as Windows keeps them. A zero-filled record, a static one never
// initialised, is a free section.
#include <windows.h>

#include "futex_lock.h"
#include "streaming_path.h"
#include "thread_checker.h"
#include "thread_state.h"

namespace {

using vexa::platform::currentThreadId;

HANDLE ownerToken(DWORD threadId) {
  return reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(threadId));
}

// Only the owner writes OwningThread with its own identifier, so a thread that reads its own
// there holds the section.
bool ownedByCaller(LPCRITICAL_SECTION section, HANDLE caller) {
  VEXA_RACY_WORD(&section->OwningThread);
  return __atomic_load_n(&section->OwningThread, __ATOMIC_RELAXED) == caller;
}

void takeOwnership(LPCRITICAL_SECTION section, HANDLE caller) {
  __atomic_store_n(&section->OwningThread, caller, __ATOMIC_RELAXED);
  section->RecursionCount = 1;
}

}  // namespace

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  lpCriticalSection->DebugInfo = nullptr;
  lpCriticalSection->LockCount = 0;
  lpCriticalSection->RecursionCount = 0;
  lpCriticalSection->OwningThread = nullptr;
  lpCriticalSection->LockSemaphore = nullptr;
  lpCriticalSection->SpinCount = 0;
}

extern "C" VEXA_STREAMING_PATH void WINAPI
EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  HANDLE caller = ownerToken(currentThreadId());
  if (ownedByCaller(lpCriticalSection, caller)) {
    ++lpCriticalSection->RecursionCount;
    return;
  }
  vexa::platform::lockWord(&lpCriticalSection->LockCount);
  takeOwnership(lpCriticalSection, caller);
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return FALSE;
  HANDLE caller = ownerToken(currentThreadId());
  if (ownedByCaller(lpCriticalSection, caller)) {
    ++lpCriticalSection->RecursionCount;
    return TRUE;
  }
  if (!vexa::platform::tryLockWord(&lpCriticalSection->LockCount)) return FALSE;
  takeOwnership(lpCriticalSection, caller);
  return TRUE;
}

extern "C" VEXA_STREAMING_PATH void WINAPI
LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  // Only the owner may leave; anyone else would corrupt the owner's count.
  if (!ownedByCaller(lpCriticalSection, ownerToken(currentThreadId())) ||
      lpCriticalSection->RecursionCount <= 0)
    return;
  if (--lpCriticalSection->RecursionCount > 0) return;
  __atomic_store_n(&lpCriticalSection->OwningThread, nullptr, __ATOMIC_RELAXED);
  vexa::platform::unlockWord(&lpCriticalSection->LockCount);
}

// Nothing is allocated for a section, so deleting one only clears it (twice is harmless).
extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  InitializeCriticalSection(lpCriticalSection);
}
