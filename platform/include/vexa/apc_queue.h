// Queue an asynchronous procedure call to a thread by its identifier. The card driver delivers
// its notifications this way to the thread that asked for them.
#pragma once

#include <windows.h>

#include <memory>

namespace vexa::platform {

// False when no thread with that identifier has an APC queue (it has ended).
bool queueApcToThread(DWORD threadId, PAPCFUNC function, ULONG_PTR data);

// Something that makes calls for one thread: a descriptor that turns readable when there is
// work, and the work. An alertable wait of the thread watches its sources besides its queue and
// drains them itself, so their calls cost no other thread a wake-up.
class ApcSource {
public:
  virtual ~ApcSource() = default;
  virtual int descriptor() const = 0;
  // Runs on the waiting thread when the descriptor is readable or hung up. Takes what is there
  // without blocking and queues the calls it makes.
  virtual void drain() = 0;
};

// The thread's alertable waits watch `source` from now on; false when the thread has ended.
bool watchApcSource(DWORD threadId, std::shared_ptr<ApcSource> source);
// They stop watching it; a wait under way may still drain it once.
void unwatchApcSource(DWORD threadId, const ApcSource* source);

}  // namespace vexa::platform
