// Small wrappers that keep the registry tests about behaviour, not call syntax.
#pragma once

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <private_registry.h>

#include <string>
#include <vector>

namespace registry_test {

// Each test runs against a store of its own.
class RegistryTest : public ::testing::Test {
protected:
  vexa::testing::PrivateRegistry registry;
};

inline HKEY create(HKEY parent, const char* path) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS)
      << path;
  return key;
}

inline LONG open(HKEY parent, const char* path, HKEY& key) {
  key = nullptr;
  return RegOpenKeyExA(parent, path, 0, KEY_READ, &key);
}

inline LONG setDword(HKEY key, const char* name, DWORD value) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof value);
}

// The terminator is stored with the text, as callers of RegSetValueExA pass it.
inline LONG setString(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1));
}

struct Read {
  LONG status = ERROR_SUCCESS;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

inline Read read(HKEY key, const char* name) {
  Read result;
  DWORD size = 0;
  result.status = RegQueryValueExA(key, name, nullptr, &result.type, nullptr, &size);
  if (result.status != ERROR_SUCCESS) return result;
  result.data.resize(size);
  result.status = RegQueryValueExA(key, name, nullptr, &result.type, result.data.data(), &size);
  result.data.resize(size);
  return result;
}

inline std::vector<std::string> subkeys(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
    names.push_back(name);
  return names;
}

inline std::vector<std::string> valueNames(HKEY key) {
  std::vector<std::string> names;
  char name[256];
  DWORD length = sizeof name;
  for (DWORD i = 0; RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                    ERROR_SUCCESS;
       ++i, length = sizeof name)
    names.push_back(name);
  return names;
}

}  // namespace registry_test
