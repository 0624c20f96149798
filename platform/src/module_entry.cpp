// Linked into each module of ours, after the module's own objects. Its static object announces
// the module to the platform, which calls DllMain with DLL_PROCESS_ATTACH and the module's own
// instance handle once every initialiser of the module has run (LoadLibraryA), or at once when
// the module was loaded some other way. The detach is registered with the module's exit
// handlers at attach time, after every static object the module made so far, so DllMain sees
// DLL_PROCESS_DETACH before those objects are destroyed, as under the Windows loader.

#include <windows.h>

#include "vexa/module_registry.h"

// A module without a DllMain is valid; the weak reference then stays null.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) __attribute__((weak));

extern "C" int __cxa_atexit(void (*function)(void*), void* argument, void* module);
extern "C" void* __dso_handle;

namespace {

HMODULE thisModule = nullptr;

void detach(void*) { DllMain(thisModule, DLL_PROCESS_DETACH, nullptr); }

bool attach() {
  BOOL succeeded = DllMain(thisModule, DLL_PROCESS_ATTACH, nullptr);
  // Even after a refusal: Windows sends the detach when it unloads the module again.
  __cxa_atexit(detach, nullptr, &__dso_handle);
  return succeeded != FALSE;
}

void anchor() {}

struct ModuleEntry {
  ModuleEntry() {
    thisModule = vexa::platform::moduleContaining(reinterpret_cast<const void*>(&anchor));
    // A weak reference could be bound to another object's DllMain; only our own is called.
    if (!DllMain || !thisModule ||
        vexa::platform::moduleContaining(reinterpret_cast<const void*>(&DllMain)) != thisModule) {
      return;
    }
    vexa::platform::announceModuleEntry(thisModule, &attach);
  }
};

ModuleEntry moduleEntry;

}  // namespace
