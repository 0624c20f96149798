// Control over the registry's database file, for test hooks that move the store.
#pragma once

namespace vexa::platform {

// Closes this process's connection to the registry database; the next registry call opens
// the file that $VEXA_REGISTRY (or the default) names then. Handles opened before stay in
// the table but refer to the old store, so their calls fail with ERROR_KEY_DELETED.
void closeRegistryStore();

}  // namespace vexa::platform
