// Modules as the platform sees them: an HMODULE is the load address of a loaded object (its
// first loadable segment), so the program has a handle too and every handle is stable for as
// long as its object stays loaded.
#pragma once

#include <windows.h>

#include <string>

namespace vexa::platform {

// The module whose loaded segments contain the address; null when none does.
HMODULE moduleContaining(const void* address);

// The file a module was loaded from (symbolic links resolved); false for an unknown handle.
bool modulePath(HMODULE module, std::string& path);

// Called by a module's entry object while the module is being initialised. Inside
// LoadLibraryA the attach routine runs once the load has finished, so that DllMain sees every
// initialiser of the module done, and a FALSE answer fails the load as on Windows; a module
// loaded any other way is attached at once.
using ModuleAttach = bool (*)();
void announceModuleEntry(HMODULE module, ModuleAttach attach);

}  // namespace vexa::platform
