#include "settings_key.h"

#include <private_registry.h>

#include <gtest/gtest.h>

namespace {

constexpr const char* kKey = "Software\\Tarvenix\\Vexa\\Asio";

void storeRaw(DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &key, nullptr));
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExA(key, "BufferSize", 0, type, static_cast<const BYTE*>(data), size));
  RegCloseKey(key);
}

}  // namespace

TEST(SettingsKey, WrittenSizeIsReadBackAsADword) {
  vexa::testing::PrivateRegistry registry;
  {
    SettingsKey key(kKey);
    ASSERT_NE(nullptr, key.hkey);
    key.writeBufferSize(256);
  }
  SettingsKey again(kKey);
  EXPECT_EQ(256u, again.readBufferSize());

  HKEY raw = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\tarvenix\\vexa\\asio", &raw));
  DWORD type = 0, value = 0, size = sizeof value;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(raw, "bufferSIZE", nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(4u, size);
  EXPECT_EQ(256u, value);
  RegCloseKey(raw);
}

TEST(SettingsKey, AnythingButAFourByteDwordReadsAsTheDefault) {
  vexa::testing::PrivateRegistry registry;
  EXPECT_EQ(8192u, SettingsKey(kKey).readBufferSize()) << "missing value";

  storeRaw(REG_SZ, "1024", 5);
  EXPECT_EQ(8192u, SettingsKey(kKey).readBufferSize()) << "REG_SZ";

  const WORD shortValue = 1024;
  storeRaw(REG_DWORD, &shortValue, sizeof shortValue);
  EXPECT_EQ(8192u, SettingsKey(kKey).readBufferSize()) << "2-byte DWORD";

  const unsigned long long longValue = 1024;
  storeRaw(REG_DWORD, &longValue, sizeof longValue);
  EXPECT_EQ(8192u, SettingsKey(kKey).readBufferSize()) << "8-byte DWORD";

  const DWORD binary = 1024;
  storeRaw(REG_BINARY, &binary, sizeof binary);
  EXPECT_EQ(8192u, SettingsKey(kKey).readBufferSize()) << "REG_BINARY";

  storeRaw(REG_DWORD, &binary, sizeof binary);
  EXPECT_EQ(1024u, SettingsKey(kKey).readBufferSize());
}

TEST(SettingsKey, MissingKeyIsCreatedAndReadsAsTheDefault) {
  vexa::testing::PrivateRegistry registry;
  SettingsKey key("Software\\Tarvenix\\Vexa\\Easi");
  EXPECT_NE(nullptr, key.hkey);
  EXPECT_EQ(8192u, key.readBufferSize());
  HKEY raw = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Tarvenix\\Vexa\\Easi", &raw));
  RegCloseKey(raw);
}
