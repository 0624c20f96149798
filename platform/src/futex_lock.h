// A lock on one 32-bit word: 0 free, 1 held, 2 held with threads asleep on it. The critical
// sections keep theirs inside the Win32 record, so a zero-filled record is a free lock; the
// handle table uses one too. A streaming thread takes both every period: the path stays in
// this library, with no allocation of its own and no system call unless there is contention.
#pragma once

#include <windows.h>

#include "streaming_path.h"

namespace vexa::platform {

VEXA_STREAMING_PATH void lockWord(LONG* word);
bool tryLockWord(LONG* word);
VEXA_STREAMING_PATH void unlockWord(LONG* word);

class FutexLock {
public:
  void lock() { lockWord(&word_); }
  void unlock() { unlockWord(&word_); }

private:
  LONG word_ = 0;
};

}  // namespace vexa::platform
