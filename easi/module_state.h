// What the module keeps for the whole process: its instance handle and the two counts that
// decide whether it may be unloaded.
#pragma once

#include <windows.h>

HINSTANCE moduleInstance();
void setModuleInstance(HINSTANCE instance);

void lockModule();
void unlockModule();
void objectCreated();
void objectDestroyed();

// True while LockServer holds the module or any of its objects is alive.
bool moduleInUse();
