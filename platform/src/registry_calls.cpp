// The Win32 registry calls. Each call is one transaction on the store, so a failure part way
// (a bad name deep in a path, a full disk) leaves nothing half done.
#include "registry_handles.h"
#include "registry_names.h"
#include "registry_store.h"
#include "registry_tree.h"

#include <cstring>

using namespace vexa::platform::registry;

namespace {

// What an HKEY argument names, found before the store is touched so that a bad handle is
// reported as such even when the database is unusable.
struct Target {
  HKEY root = nullptr;  // a predefined root, or null for an opened key
  OpenKey opened;
};

LONG identify(HKEY handle, Target& target) {
  if (isPredefinedKey(handle)) {
    target.root = handle;
    return ERROR_SUCCESS;
  }
  return lookupOpenKey(handle, target.opened) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG resolve(StoreTransaction& tx, const Target& target, KeyId& key) {
  if (target.root == HKEY_LOCAL_MACHINE) key = kLocalMachineId;
  else if (target.root == HKEY_CURRENT_USER) key = kCurrentUserId;
  else if (target.root == HKEY_USERS) key = kUsersId;
  else if (target.root == HKEY_CLASSES_ROOT) key = tx.classesRootId();
  else if (target.opened.storeId != tx.storeId()) return ERROR_KEY_DELETED;
  else key = target.opened.id;
  return checkKeyExists(tx, key);
}

bool isProtectedKey(StoreTransaction& tx, KeyId key) {
  return key == kLocalMachineId || key == kCurrentUserId || key == kUsersId ||
         key == tx.classesRootId();
}

// Opens, or with create also makes, the key at path below handle; a new HKEY either way.
LONG openKey(HKEY handle, const char* path, bool create, PHKEY result, LPDWORD disposition) {
  if (!result) return ERROR_INVALID_PARAMETER;
  Target target;
  LONG status = identify(handle, target);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string_view> names;
  status = splitKeyPath(path, names);
  if (status != ERROR_SUCCESS) return status;

  StoreTransaction tx(create ? StoreTransaction::Write : StoreTransaction::Read);
  if ((status = tx.status()) != ERROR_SUCCESS) return status;
  KeyId key = 0;
  if ((status = resolve(tx, target, key)) != ERROR_SUCCESS) return status;
  bool created = false;
  for (std::string_view name : names) {
    KeyId child = 0;
    status = findSubkey(tx, key, name, child);
    if (status == ERROR_FILE_NOT_FOUND && create) {
      status = createSubkey(tx, key, name, child);
      created = true;
    }
    if (status != ERROR_SUCCESS) return status;
    key = child;
  }
  if ((status = tx.commit()) != ERROR_SUCCESS) return status;
  *result = insertOpenKey(OpenKey{key, tx.storeId()});
  if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

// The size protocol shared by queries and value enumeration: without a buffer only the size
// is reported; a buffer too small gets ERROR_MORE_DATA, the size needed, and no bytes.
LONG deliverValue(const StoredValue& value, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (type) *type = value.type;
  DWORD needed = static_cast<DWORD>(value.data.size());
  if (!data) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  DWORD room = *size;
  *size = needed;
  if (room < needed) return ERROR_MORE_DATA;
  if (needed) std::memcpy(data, value.data.data(), needed);
  return ERROR_SUCCESS;
}

// One change to a value of an open key, in a write transaction that commits only when the
// change succeeded.
template <typename Change>
LONG changeValue(HKEY handle, const char* valueName, Change change) {
  Target target;
  LONG status = identify(handle, target);
  if (status != ERROR_SUCCESS) return status;
  std::string_view name;
  if ((status = checkValueName(valueName, name)) != ERROR_SUCCESS) return status;

  StoreTransaction tx(StoreTransaction::Write);
  if ((status = tx.status()) != ERROR_SUCCESS) return status;
  KeyId key = 0;
  if ((status = resolve(tx, target, key)) != ERROR_SUCCESS) return status;
  if ((status = change(tx, key, name)) != ERROR_SUCCESS) return status;
  return tx.commit();
}

}  // namespace

extern "C" LONG WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR,
                                       DWORD, REGSAM, LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                                       LPDWORD lpdwDisposition) {
  if (Reserved != 0) return ERROR_INVALID_PARAMETER;
  return openKey(hKey, lpSubKey, true, phkResult, lpdwDisposition);
}

extern "C" LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return openKey(hKey, lpSubKey, true, phkResult, nullptr);
}

extern "C" LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  return openKey(hKey, lpSubKey, false, phkResult, nullptr);
}

extern "C" LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM,
                                     PHKEY phkResult) {
  return openKey(hKey, lpSubKey, false, phkResult, nullptr);
}

extern "C" LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                        LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  Target target;
  LONG status = identify(hKey, target);
  if (status != ERROR_SUCCESS) return status;
  std::string_view name;
  if ((status = checkValueName(lpValueName, name)) != ERROR_SUCCESS) return status;

  StoredValue value;
  {
    StoreTransaction tx(StoreTransaction::Read);
    if ((status = tx.status()) != ERROR_SUCCESS) return status;
    KeyId key = 0;
    if ((status = resolve(tx, target, key)) != ERROR_SUCCESS) return status;
    if ((status = readValue(tx, key, name, value)) != ERROR_SUCCESS) return status;
  }
  return deliverValue(value, lpType, lpData, lpcbData);
}

extern "C" LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                                      const BYTE* lpData, DWORD cbData) {
  if ((!lpData && cbData != 0) || cbData > kMaxValueSize) return ERROR_INVALID_PARAMETER;
  return changeValue(hKey, lpValueName, [&](StoreTransaction& tx, KeyId key, std::string_view name) {
    return writeValue(tx, key, name, dwType, lpData, cbData);
  });
}

extern "C" LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  return changeValue(hKey, lpValueName, [&](StoreTransaction& tx, KeyId key, std::string_view name) {
    return removeValue(tx, key, name);
  });
}

extern "C" LONG WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
  if (!lpName) return ERROR_INVALID_PARAMETER;
  Target target;
  LONG status = identify(hKey, target);
  if (status != ERROR_SUCCESS) return status;

  std::string name;
  {
    StoreTransaction tx(StoreTransaction::Read);
    if ((status = tx.status()) != ERROR_SUCCESS) return status;
    KeyId key = 0;
    if ((status = resolve(tx, target, key)) != ERROR_SUCCESS) return status;
    if ((status = subkeyAt(tx, key, dwIndex, name)) != ERROR_SUCCESS) return status;
  }
  if (name.size() >= cchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                     LPDWORD lpcchValueName, LPDWORD lpReserved, LPDWORD lpType,
                                     LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData))
    return ERROR_INVALID_PARAMETER;
  Target target;
  LONG status = identify(hKey, target);
  if (status != ERROR_SUCCESS) return status;

  std::string name;
  StoredValue value;
  {
    StoreTransaction tx(StoreTransaction::Read);
    if ((status = tx.status()) != ERROR_SUCCESS) return status;
    KeyId key = 0;
    if ((status = resolve(tx, target, key)) != ERROR_SUCCESS) return status;
    if ((status = valueAt(tx, key, dwIndex, name, value)) != ERROR_SUCCESS) return status;
  }
  // A name that does not fit is not cut short: nothing is written and the caller retries.
  if (name.size() >= *lpcchValueName) return ERROR_MORE_DATA;
  std::memcpy(lpValueName, name.c_str(), name.size() + 1);
  *lpcchValueName = static_cast<DWORD>(name.size());
  return deliverValue(value, lpType, lpData, lpcbData);
}

extern "C" LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  Target target;
  LONG status = identify(hKey, target);
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::string_view> names;
  if ((status = splitKeyPath(lpSubKey, names)) != ERROR_SUCCESS) return status;

  StoreTransaction tx(StoreTransaction::Write);
  if ((status = tx.status()) != ERROR_SUCCESS) return status;
  KeyId key = 0;
  if ((status = resolve(tx, target, key)) != ERROR_SUCCESS) return status;
  for (std::string_view name : names) {
    KeyId child = 0;
    if ((status = findSubkey(tx, key, name, child)) != ERROR_SUCCESS) return status;
    key = child;
  }
  if (isProtectedKey(tx, key)) return ERROR_ACCESS_DENIED;
  sqlite3_int64 subkeys = 0;
  if ((status = countSubkeys(tx, key, subkeys)) != ERROR_SUCCESS) return status;
  // As on Windows NT: callers remove a tree depth first.
  if (subkeys != 0) return ERROR_ACCESS_DENIED;
  if ((status = removeKey(tx, key)) != ERROR_SUCCESS) return status;
  return tx.commit();
}

extern "C" LONG WINAPI RegCloseKey(HKEY hKey) {
  if (isPredefinedKey(hKey)) return ERROR_SUCCESS;
  return removeOpenKey(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
