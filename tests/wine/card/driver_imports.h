// Points a loaded module's imports of kernel32's device calls (CreateFileA, DeviceIoControl,
// CloseHandle) at the in-process card for \\.\TX_VV.VXD and at kernel32 for everything else.
// The module's file is not touched; only this process's copy of its import table changes.
#pragma once

#include <windows.h>

namespace wine_card {

// The number of import slots redirected (3 for a module that imports all three).
int redirectDeviceImports(HMODULE module);

}  // namespace wine_card
