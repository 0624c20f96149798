// The process's open registry keys. An HKEY is a number looked up in this table, never a
// pointer, so a stale or forged handle is refused instead of followed.
#pragma once

#include "registry_store.h"

#include <cstdint>

namespace vexa::platform::registry {

struct OpenKey {
  KeyId id = 0;
  // The store the key lives in: a handle is meaningless in any other database.
  std::uint64_t storeId = 0;
};

bool isPredefinedKey(HKEY key);
HKEY insertOpenKey(const OpenKey& key);
// False for an HKEY that was never handed out or is closed.
bool lookupOpenKey(HKEY handle, OpenKey& key);
bool removeOpenKey(HKEY handle);

}  // namespace vexa::platform::registry
