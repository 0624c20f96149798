#include "module_state.h"

#include <stream_worker.h>

namespace {
HINSTANCE instanceHandle = nullptr;
// Interlocked although hosts are not meant to race here: a count that tears would keep the
// module loaded for ever or let it go under a live object.
LONG volatile lockCount = 0;
LONG volatile liveObjectCount = 0;
}  // namespace

HINSTANCE moduleInstance() { return instanceHandle; }
void setModuleInstance(HINSTANCE instance) { instanceHandle = instance; }

void lockModule() { InterlockedIncrement(&lockCount); }
void unlockModule() { InterlockedDecrement(&lockCount); }
void objectCreated() { InterlockedIncrement(&liveObjectCount); }
void objectDestroyed() { InterlockedDecrement(&liveObjectCount); }

// A streaming thread left to end by itself still runs the module's code.
bool moduleInUse() { return lockCount > 0 || liveObjectCount > 0 || liveStreamWorkers() > 0; }
