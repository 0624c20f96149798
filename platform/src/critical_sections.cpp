// The lock of a critical section is a recursive pthread mutex kept behind LockSemaphore; the
// record's other fields are kept as Windows keeps them, for anyone looking at it in a debugger.
#include <windows.h>

#include <pthread.h>

namespace {

pthread_mutex_t* newRecursiveMutex() {
  auto* mutex = new pthread_mutex_t;
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(mutex, &attributes);
  pthread_mutexattr_destroy(&attributes);
  return mutex;
}

// A zero-filled record (a static one never initialised) gets its lock on first use; two threads
// racing to do so agree on one lock.
pthread_mutex_t* lockOf(LPCRITICAL_SECTION section) {
  auto* existing =
      static_cast<pthread_mutex_t*>(__atomic_load_n(&section->LockSemaphore, __ATOMIC_ACQUIRE));
  if (existing) return existing;
  pthread_mutex_t* fresh = newRecursiveMutex();
  HANDLE expected = nullptr;
  if (__atomic_compare_exchange_n(&section->LockSemaphore, &expected, static_cast<HANDLE>(fresh),
                                  false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
    return fresh;
  pthread_mutex_destroy(fresh);
  delete fresh;
  return static_cast<pthread_mutex_t*>(expected);
}

void noteEntered(LPCRITICAL_SECTION section) {
  if (++section->RecursionCount == 1)
    section->OwningThread = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
}

}  // namespace

extern "C" void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  lpCriticalSection->DebugInfo = nullptr;
  lpCriticalSection->LockCount = -1;
  lpCriticalSection->RecursionCount = 0;
  lpCriticalSection->OwningThread = nullptr;
  lpCriticalSection->SpinCount = 0;
  __atomic_store_n(&lpCriticalSection->LockSemaphore, static_cast<HANDLE>(newRecursiveMutex()),
                   __ATOMIC_RELEASE);
}

extern "C" void WINAPI EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  pthread_mutex_lock(lockOf(lpCriticalSection));
  noteEntered(lpCriticalSection);
}

extern "C" BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return FALSE;
  if (pthread_mutex_trylock(lockOf(lpCriticalSection)) != 0) return FALSE;
  noteEntered(lpCriticalSection);
  return TRUE;
}

extern "C" void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  auto* mutex = static_cast<pthread_mutex_t*>(
      __atomic_load_n(&lpCriticalSection->LockSemaphore, __ATOMIC_ACQUIRE));
  if (!mutex) return;
  // Only the owner may leave; anyone else would corrupt the owner's count.
  if (lpCriticalSection->OwningThread !=
          reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId())) ||
      lpCriticalSection->RecursionCount <= 0)
    return;
  if (--lpCriticalSection->RecursionCount == 0) lpCriticalSection->OwningThread = nullptr;
  pthread_mutex_unlock(mutex);
}

extern "C" void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection) {
  if (!lpCriticalSection) return;
  auto* mutex = static_cast<pthread_mutex_t*>(
      __atomic_exchange_n(&lpCriticalSection->LockSemaphore, nullptr, __ATOMIC_ACQ_REL));
  if (!mutex) return;
  pthread_mutex_destroy(mutex);
  delete mutex;
  lpCriticalSection->RecursionCount = 0;
  lpCriticalSection->OwningThread = nullptr;
}
