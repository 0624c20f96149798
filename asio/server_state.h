// Module-wide state of the COM server: what decides whether the module may unload, and the
// instance handle under which the module's resources are found.
#pragma once

#include <windows.h>

struct ServerState {
  HINSTANCE instance;           // stored by DllMain at load
  LONG lockCount;               // IClassFactory::LockServer; apartment-threaded, not interlocked
  volatile LONG objectCount;    // live DriverUnknown objects, changed with interlocked calls
};

extern ServerState serverState;
