#include "settings_key.h"

SettingsKey::SettingsKey(const char* keyPath) : hkey(nullptr) {
  HKEY opened = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &opened,
                      &disposition) == ERROR_SUCCESS)
    hkey = opened;
}

SettingsKey::~SettingsKey() {
  if (hkey) RegCloseKey(hkey);
}

DWORD SettingsKey::readBufferSize() const {
  if (!hkey) return kDefaultBufferSize;
  DWORD type = REG_NONE;
  DWORD value = 0;
  DWORD size = sizeof value;
  if (RegQueryValueExA(hkey, "BufferSize", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                       &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value)
    return kDefaultBufferSize;
  return value;
}

void SettingsKey::writeBufferSize(DWORD frames) {
  if (hkey)
    RegSetValueExA(hkey, "BufferSize", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&frames),
                   sizeof frames);
}
