// The stored buffer size: value BufferSize (REG_DWORD, frames) under a key of HKEY_LOCAL_MACHINE.
#pragma once

#include <windows.h>

#define ASIO_SETTINGS_KEY "Software\\Tarvenix\\Vexa\\Asio"
#define EASI_SETTINGS_KEY "Software\\Tarvenix\\Vexa\\Easi"

constexpr DWORD kDefaultBufferSize = 8192;

class SettingsKey {
public:
  // Opens the key, creating it when missing; hkey stays null when that fails.
  explicit SettingsKey(const char* keyPath);
  ~SettingsKey();
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;

  // The stored size, or 8192 when the key, the value, its type or its size is not right.
  DWORD readBufferSize() const;
  void writeBufferSize(DWORD frames);

  HKEY hkey;
};
