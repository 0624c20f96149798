// Values: types and sizes as stored, the query size protocol, names, enumeration, limits.
#include "registry_test_helpers.h"

#include <cstring>
#include <string>

using namespace registry_test;
using ::testing::ElementsAre;

namespace {

class RegistryValues : public RegistryTest {
protected:
  void SetUp() override { key = create(HKEY_LOCAL_MACHINE, "Software\\Tarvenix\\Vexa\\Asio"); }
  void TearDown() override { RegCloseKey(key); }
  HKEY key = nullptr;
};

TEST_F(RegistryValues, TypeAndSizeComeBackAsStored) {
  ASSERT_EQ(setDword(key, "BufferSize", 512), ERROR_SUCCESS);
  Read dword = read(key, "BufferSize");
  EXPECT_EQ(dword.type, static_cast<DWORD>(REG_DWORD));
  ASSERT_EQ(dword.data.size(), 4u);
  DWORD frames = 0;
  std::memcpy(&frames, dword.data.data(), 4);
  EXPECT_EQ(frames, 512u);

  // A reader expecting a DWORD must be able to see that it got something else.
  ASSERT_EQ(setString(key, "BufferSize", "512"), ERROR_SUCCESS);
  Read text = read(key, "BufferSize");
  EXPECT_EQ(text.type, static_cast<DWORD>(REG_SZ));
  EXPECT_THAT(text.data, ElementsAre('5', '1', '2', '\0'));

  const BYTE two[] = {0x01, 0x02};
  ASSERT_EQ(RegSetValueExA(key, "BufferSize", 0, REG_DWORD, two, sizeof two), ERROR_SUCCESS);
  DWORD type = REG_NONE, value = 0xAAAAAAAA, size = sizeof value;
  ASSERT_EQ(RegQueryValueExA(key, "BufferSize", nullptr, &type,
                             reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 2u);

  const BYTE odd[] = {0, 0xFF, 0, 0x80};
  ASSERT_EQ(RegSetValueExA(key, "Odd", 0, 0x12345678, odd, sizeof odd), ERROR_SUCCESS);
  Read custom = read(key, "Odd");
  EXPECT_EQ(custom.type, 0x12345678u);
  EXPECT_THAT(custom.data, ElementsAre(0, 0xFF, 0, 0x80));

  ASSERT_EQ(RegSetValueExA(key, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  Read empty = read(key, "Empty");
  EXPECT_EQ(empty.status, ERROR_SUCCESS);
  EXPECT_EQ(empty.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_TRUE(empty.data.empty());
}

TEST_F(RegistryValues, QuerySizeProtocol) {
  ASSERT_EQ(setString(key, "Path", "c:\\windows\\system\\tx_va.dll"), ERROR_SUCCESS);
  const DWORD stored = 28;

  DWORD type = REG_NONE, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, stored);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);

  char small[8];
  std::memset(small, '#', sizeof small);
  size = sizeof small;
  type = REG_NONE;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, &type, reinterpret_cast<BYTE*>(small), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, stored);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::string(small, sizeof small), std::string(8, '#'));

  char exact[28];
  size = sizeof exact;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(exact, "c:\\windows\\system\\tx_va.dll");

  char large[64];
  size = sizeof large;
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(large), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, stored);

  size = 99;
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(key, "Path", nullptr, nullptr, reinterpret_cast<BYTE*>(large), nullptr),
            ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Path", &reserved, nullptr, nullptr, &size),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, NamesMatchWithoutCaseAndTheDefaultValueIsNullOrEmpty) {
  ASSERT_EQ(setDword(key, "BufferSize", 256), ERROR_SUCCESS);
  ASSERT_EQ(setDword(key, "BUFFERSIZE", 1024), ERROR_SUCCESS);
  ASSERT_EQ(setString(key, nullptr, "TX ASIO"), ERROR_SUCCESS);
  EXPECT_THAT(valueNames(key), ElementsAre("BufferSize", ""));

  Read replaced = read(key, "buffersize");
  ASSERT_EQ(replaced.status, ERROR_SUCCESS);
  DWORD frames = 0;
  std::memcpy(&frames, replaced.data.data(), 4);
  EXPECT_EQ(frames, 1024u);

  EXPECT_EQ(read(key, "").status, ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(key, ""), ERROR_SUCCESS);
  EXPECT_EQ(read(key, nullptr).status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, nullptr), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(key, "bufferSIZE"), ERROR_SUCCESS);
  EXPECT_TRUE(valueNames(key).empty());
}

TEST_F(RegistryValues, EnumerationByIndexWithNameAndDataSizesChecked) {
  ASSERT_EQ(setString(key, "CLSID", "{114D6E60-B05D-11D2-9A11-00104BC5C73D}"), ERROR_SUCCESS);
  ASSERT_EQ(setString(key, "Description", "TX ASIO"), ERROR_SUCCESS);
  ASSERT_EQ(setString(key, "clsid", "{00000000-0000-0000-0000-000000000000}"), ERROR_SUCCESS);
  EXPECT_THAT(valueNames(key), ElementsAre("CLSID", "Description"));

  char name[32];
  DWORD length = 5;  // "CLSID" needs 6 with its terminator
  EXPECT_EQ(RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);

  char data[4];
  DWORD type = REG_NONE, size = sizeof data;
  length = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 1, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(data),
                          &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

  char text[8];
  size = sizeof text;
  length = sizeof name;
  ASSERT_EQ(RegEnumValueA(key, 1, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(text),
                          &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(name, "Description");
  EXPECT_EQ(length, 11u);
  EXPECT_STREQ(text, "TX ASIO");

  length = sizeof name;
  EXPECT_EQ(RegEnumValueA(key, 2, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumValueA(key, 0, nullptr, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, OversizedNamesAndDataAreRefusedAndChangeNothing) {
  ASSERT_EQ(setDword(key, "BufferSize", 512), ERROR_SUCCESS);
  const std::string longest(255, 'v');
  const std::string tooLong(256, 'v');
  EXPECT_EQ(setDword(key, longest.c_str(), 1), ERROR_SUCCESS);
  EXPECT_EQ(setDword(key, tooLong.c_str(), 1), ERROR_INVALID_PARAMETER);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, tooLong.c_str(), nullptr, nullptr, nullptr, &size),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteValueA(key, tooLong.c_str()), ERROR_INVALID_PARAMETER);

  std::vector<BYTE> mebibyte(1024 * 1024, 0x5A);
  EXPECT_EQ(RegSetValueExA(key, "Big", 0, REG_BINARY, mebibyte.data(),
                           static_cast<DWORD>(mebibyte.size())),
            ERROR_SUCCESS);
  EXPECT_EQ(read(key, "Big").data, mebibyte);
  mebibyte.push_back(0);
  EXPECT_EQ(RegSetValueExA(key, "BufferSize", 0, REG_BINARY, mebibyte.data(),
                           static_cast<DWORD>(mebibyte.size())),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegSetValueExA(key, "BufferSize", 0, REG_DWORD, nullptr, 4), ERROR_INVALID_PARAMETER);

  Read kept = read(key, "BufferSize");
  EXPECT_EQ(kept.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(kept.data.size(), 4u);
}

}  // namespace
