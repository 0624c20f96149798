#include "registration.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "module_path.h"

namespace {

constexpr DWORD kModulePathSize = 360;
constexpr int kClsidTextSize = 100;
const char kAsioRootKey[] = "SOFTWARE\\ASIO";

// What registration needs before it touches the registry: the module's path, the CLSID as
// text and the class key's path under HKEY_CLASSES_ROOT.
struct ModuleIdentity {
  char modulePath[kModulePathSize] = {};
  char clsidText[kClsidTextSize] = {};
  char classKeyPath[sizeof "CLSID\\" + kClsidTextSize] = {};
};

// 0 or the failure code.
long describeModule(REFCLSID clsid, const char* moduleName, ModuleIdentity& identity) {
  char* path = identity.modulePath;
  char* clsidText = identity.clsidText;
  HMODULE module = GetModuleHandleA(moduleName);
  if (!module) return kModuleNotLoaded;
  DWORD length = GetModuleFileNameA(module, path, kModulePathSize);
  // A path cut short would register a file that does not exist.
  if (length == 0 || length >= kModulePathSize || path[0] == '\0') return kModulePathEmpty;
  normalizeModulePath(path);

  LPOLESTR wide = nullptr;
  if (StringFromCLSID(clsid, &wide) != S_OK || !wide) return kClsidNotString;
  int converted = WideCharToMultiByte(CP_ACP, 0, wide, -1, clsidText, kClsidTextSize, nullptr,
                                      nullptr);
  CoTaskMemFree(wide);
  if (converted == 0) return kClsidNotAnsi;
  snprintf(identity.classKeyPath, sizeof identity.classKeyPath, "CLSID\\%s", clsidText);
  return 0;
}

enum class KeyState { Absent, Present, Unreadable };

// Only "not found" means absent: a registry that cannot be read is a failed step, not an
// empty one.
KeyState keyState(HKEY root, const char* path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyA(root, path, &key);
  if (status == ERROR_FILE_NOT_FOUND) return KeyState::Absent;
  if (status != ERROR_SUCCESS) return KeyState::Unreadable;
  RegCloseKey(key);
  return KeyState::Present;
}

// Deletes parent\name with everything below it, depth first.
bool deleteKeyTree(HKEY parent, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
  char child[MAX_PATH + 1];
  bool ok = true;
  // Always enumerate index 0: each deleted child moves the next one there.
  while (ok && RegEnumKeyA(key, 0, child, sizeof child) == ERROR_SUCCESS)
    ok = deleteKeyTree(key, child);
  RegCloseKey(key);
  return ok && RegDeleteKeyA(parent, name) == ERROR_SUCCESS;
}

bool setString(HKEY key, const char* name, const char* text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(strlen(text) + 1)) == ERROR_SUCCESS;
}

// Creates parent\name unless it exists, and opens it.
bool createKey(HKEY parent, const char* name, HKEY* key) {
  if (RegOpenKeyA(parent, name, key) == ERROR_SUCCESS) return true;
  return RegCreateKeyA(parent, name, key) == ERROR_SUCCESS;
}

// Whether CLSID\{clsid}\InprocServer32 already names this module.
bool registeredHere(const char* classKeyPath, const char* modulePath) {
  char serverKeyPath[160];
  snprintf(serverKeyPath, sizeof serverKeyPath, "%s\\InprocServer32", classKeyPath);
  HKEY key = nullptr;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, serverKeyPath, &key) != ERROR_SUCCESS) return false;
  char stored[kModulePathSize + 1];
  DWORD size = kModulePathSize;
  DWORD type = REG_NONE;
  LONG result = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(stored),
                                 &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ || size == 0 || size > kModulePathSize)
    return false;
  stored[size] = '\0';
  normalizeModulePath(stored);
  return sameModulePath(stored, modulePath);
}

bool writeClassKey(const char* classKeyPath, const char* modulePath, const char* description,
                   const char* threadingModel) {
  HKEY classes = nullptr;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &classes) != ERROR_SUCCESS &&
      RegCreateKeyA(HKEY_CLASSES_ROOT, "CLSID", &classes) != ERROR_SUCCESS)
    return false;
  HKEY classKey = nullptr;
  bool ok = createKey(classes, classKeyPath + strlen("CLSID\\"), &classKey);
  RegCloseKey(classes);
  if (!ok) return false;
  ok = setString(classKey, nullptr, description);
  HKEY serverKey = nullptr;
  if (ok && (ok = createKey(classKey, "InprocServer32", &serverKey))) {
    ok = setString(serverKey, nullptr, modulePath) &&
         setString(serverKey, "ThreadingModel", threadingModel);
    RegCloseKey(serverKey);
  }
  RegCloseKey(classKey);
  return ok;
}

bool writeAsioKey(const char* asioKeyName, const char* clsidText, const char* description) {
  HKEY asioRoot = nullptr;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, kAsioRootKey, &asioRoot) == ERROR_SUCCESS) {
    KeyState old = keyState(asioRoot, asioKeyName);
    if (old == KeyState::Unreadable ||
        (old == KeyState::Present && !deleteKeyTree(asioRoot, asioKeyName))) {
      RegCloseKey(asioRoot);
      return false;
    }
  } else if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kAsioRootKey, &asioRoot) != ERROR_SUCCESS) {
    return false;
  }
  HKEY driverKey = nullptr;
  bool ok = RegCreateKeyA(asioRoot, asioKeyName, &driverKey) == ERROR_SUCCESS;
  RegCloseKey(asioRoot);
  if (!ok) return false;
  ok = setString(driverKey, "CLSID", clsidText) && setString(driverKey, "Description", description);
  RegCloseKey(driverKey);
  return ok;
}

// HKEY_CLASSES_ROOT\CLSID\{clsid} with everything below it.
bool deleteClassKey(const char* clsidText) {
  HKEY classes = nullptr;
  if (RegOpenKeyA(HKEY_CLASSES_ROOT, "CLSID", &classes) != ERROR_SUCCESS) return false;
  bool deleted = deleteKeyTree(classes, clsidText);
  RegCloseKey(classes);
  return deleted;
}

}  // namespace

long registerServer(REFCLSID clsid, const char* moduleName, const char* asioKeyName,
                    const char* description, const char* threadingModel) {
  ModuleIdentity identity;
  long result = describeModule(clsid, moduleName, identity);
  if (result != 0) return result;
  const char* clsidText = identity.clsidText;
  const char* classKeyPath = identity.classKeyPath;
  bool keepClassKey = false;
  KeyState classKey = keyState(HKEY_CLASSES_ROOT, classKeyPath);
  if (classKey == KeyState::Unreadable) return kRegistryFailed;
  if (classKey == KeyState::Present) {
    keepClassKey = registeredHere(classKeyPath, identity.modulePath);
    if (!keepClassKey && !deleteClassKey(clsidText)) return kRegistryFailed;
  }
  if (!keepClassKey &&
      !writeClassKey(classKeyPath, identity.modulePath, description, threadingModel))
    return kRegistryFailed;
  if (!writeAsioKey(asioKeyName, clsidText, description)) return kRegistryFailed;
  return 0;
}

long unregisterServer(REFCLSID clsid, const char* moduleName, const char* asioKeyName) {
  ModuleIdentity identity;
  long result = describeModule(clsid, moduleName, identity);
  if (result != 0) return result;
  const char* clsidText = identity.clsidText;
  const char* classKeyPath = identity.classKeyPath;
  KeyState classKey = keyState(HKEY_CLASSES_ROOT, classKeyPath);
  if (classKey == KeyState::Unreadable) return kRegistryFailed;
  if (classKey == KeyState::Present && !deleteClassKey(clsidText)) return kRegistryFailed;
  HKEY asioRoot = nullptr;
  LONG status = RegOpenKeyA(HKEY_LOCAL_MACHINE, kAsioRootKey, &asioRoot);
  if (status == ERROR_FILE_NOT_FOUND) return 0;
  if (status != ERROR_SUCCESS) return kRegistryFailed;
  KeyState asioKey = keyState(asioRoot, asioKeyName);
  bool ok = asioKey == KeyState::Absent ||
            (asioKey == KeyState::Present && deleteKeyTree(asioRoot, asioKeyName));
  RegCloseKey(asioRoot);
  return ok ? 0L : static_cast<long>(kRegistryFailed);
}
