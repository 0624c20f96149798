#include "module_state.h"

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

bool moduleInUse() { return lockCount > 0 || liveObjectCount > 0; }
