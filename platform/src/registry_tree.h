// Keys and values as rows of the store, inside a transaction the caller holds. Names
// compare without regard to ASCII case and keep the case they were created with.
#pragma once

#include "registry_store.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexa::platform::registry {

struct StoredValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

// ERROR_KEY_DELETED when the key's row is gone.
LONG checkKeyExists(StoreTransaction& tx, KeyId key);
// ERROR_FILE_NOT_FOUND when there is no such subkey.
LONG findSubkey(StoreTransaction& tx, KeyId parent, std::string_view name, KeyId& child);
LONG createSubkey(StoreTransaction& tx, KeyId parent, std::string_view name, KeyId& child);
LONG countSubkeys(StoreTransaction& tx, KeyId key, sqlite3_int64& count);
// Subkeys in case-insensitive name order; ERROR_NO_MORE_ITEMS past the last.
LONG subkeyAt(StoreTransaction& tx, KeyId key, DWORD index, std::string& name);
// The key and its values; the caller has made sure it has no subkeys.
LONG removeKey(StoreTransaction& tx, KeyId key);

// ERROR_FILE_NOT_FOUND when the key has no such value.
LONG readValue(StoreTransaction& tx, KeyId key, std::string_view name, StoredValue& value);
// Replacing a value keeps its name as first written and its place in the enumeration.
LONG writeValue(StoreTransaction& tx, KeyId key, std::string_view name, DWORD type,
                const BYTE* data, DWORD size);
LONG removeValue(StoreTransaction& tx, KeyId key, std::string_view name);
// Values in the order they were first written; ERROR_NO_MORE_ITEMS past the last.
LONG valueAt(StoreTransaction& tx, KeyId key, DWORD index, std::string& name,
             StoredValue& value);

}  // namespace vexa::platform::registry
