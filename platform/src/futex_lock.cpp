#include "futex_lock.h"

#include "thread_checker.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vexa::platform {
namespace {

constexpr LONG kFree = 0, kHeld = 1, kContended = 2;

LONG exchange(LONG* word, LONG value) { return __atomic_exchange_n(word, value, __ATOMIC_ACQUIRE); }

}  // namespace

void lockWord(LONG* word) {
  LONG seen = kFree;
  if (__atomic_compare_exchange_n(word, &seen, kHeld, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) {
    VEXA_LOCK_ACQUIRED(word);
    return;
  }
  // Marked contended before sleeping, so that the holder's unlock knows to wake someone.
  if (seen != kContended) seen = exchange(word, kContended);
  while (seen != kFree) {
    syscall(SYS_futex, word, FUTEX_WAIT_PRIVATE, kContended, nullptr, nullptr, 0);
    seen = exchange(word, kContended);
  }
  VEXA_LOCK_ACQUIRED(word);
}

bool tryLockWord(LONG* word) {
  LONG seen = kFree;
  if (!__atomic_compare_exchange_n(word, &seen, kHeld, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED))
    return false;
  VEXA_LOCK_ACQUIRED(word);
  return true;
}

void unlockWord(LONG* word) {
  VEXA_LOCK_RELEASING(word);
  if (__atomic_exchange_n(word, kFree, __ATOMIC_RELEASE) == kContended)
    syscall(SYS_futex, word, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

}  // namespace vexa::platform
