// Where the registry's database file is.
#pragma once

#include <string>

namespace vexa::platform::registry {

// $VEXA_REGISTRY when set, else the default file in the user's configuration folder
// (isDefault); empty when no file can be named at all.
std::string registryPath(bool& isDefault);
// Creates the folder and its parents (mode 0700); true when it exists afterwards.
bool makeFolders(const std::string& folder);

}  // namespace vexa::platform::registry
