// Keys: names, paths, the classes view, enumeration, deletion and handles.
#include "registry_test_helpers.h"

#include <string>

using namespace registry_test;
using ::testing::ElementsAre;

namespace {

using RegistryKeys = RegistryTest;

TEST_F(RegistryKeys, NamesMatchWithoutCaseAndKeepTheCaseTheyWereCreatedWith) {
  HKEY created = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Tarvenix\\Vexa\\Asio", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(created);

  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\tarvenix\\VEXA\\asio", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                            &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(created);

  HKEY vexa = nullptr;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, "software\\TARVENIX\\vexa", vexa), ERROR_SUCCESS);
  EXPECT_THAT(subkeys(vexa), ElementsAre("Asio"));
  HKEY tarvenix = nullptr;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE, "Software", tarvenix), ERROR_SUCCESS);
  EXPECT_THAT(subkeys(tarvenix), ElementsAre("Classes", "Tarvenix"));
  RegCloseKey(vexa);
  RegCloseKey(tarvenix);
}

TEST_F(RegistryKeys, RootsAreSeparateAndClassesRootIsAViewOfLocalMachineClasses) {
  HKEY user = create(HKEY_CURRENT_USER, "Software\\Only");
  HKEY missing = nullptr;
  EXPECT_EQ(open(HKEY_LOCAL_MACHINE, "Software\\Only", missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(open(HKEY_USERS, "Software\\Only", missing), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, nullptr);
  RegCloseKey(user);

  HKEY clsid = create(HKEY_CLASSES_ROOT, "CLSID\\{114D6E60-B05D-11D2-9A11-00104BC5C73D}");
  ASSERT_EQ(setString(clsid, nullptr, "TX ASIO"), ERROR_SUCCESS);
  RegCloseKey(clsid);
  HKEY seen = nullptr;
  ASSERT_EQ(open(HKEY_LOCAL_MACHINE,
                 "Software\\Classes\\clsid\\{114d6e60-b05d-11d2-9a11-00104bc5c73d}", seen),
            ERROR_SUCCESS);
  EXPECT_EQ(read(seen, "").status, ERROR_SUCCESS);
  RegCloseKey(seen);

  HKEY direct = create(HKEY_LOCAL_MACHINE, "Software\\Classes\\Direct");
  RegCloseKey(direct);
  EXPECT_THAT(subkeys(HKEY_CLASSES_ROOT), ElementsAre("CLSID", "Direct"));
  // The roots and the classes key are permanent.
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Classes\\Direct"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
  HKEY classes = nullptr;
  ASSERT_EQ(open(HKEY_CLASSES_ROOT, nullptr, classes), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(classes, "CLSID\\{114D6E60-B05D-11D2-9A11-00104BC5C73D}"), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(classes, "CLSID"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(classes, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Classes"), ERROR_ACCESS_DENIED);
  RegCloseKey(classes);
}

TEST_F(RegistryKeys, BadPathsAreRefusedAndCreateNothing) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "\\Software\\Lead", &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\\\Double", &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "\\", &key), ERROR_BAD_PATHNAME);

  const std::string longest(255, 'k');
  const std::string tooLong(256, 'k');
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, ("Partial\\" + tooLong).c_str(), &key),
            ERROR_INVALID_PARAMETER);
  std::string deep;
  for (int i = 0; i < 513; ++i) deep += "d\\";
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, deep.c_str(), &key), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(key, nullptr);
  EXPECT_TRUE(subkeys(HKEY_CURRENT_USER).empty());

  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, nullptr, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Reserved", 1, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegEnumKeyA(HKEY_CURRENT_USER, 0, nullptr, 10), ERROR_INVALID_PARAMETER);

  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, ("Trailing\\" + longest + "\\").c_str(), &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(open(HKEY_CURRENT_USER, "Trailing", key), ERROR_SUCCESS);
  EXPECT_THAT(subkeys(key), ElementsAre(longest));
  RegCloseKey(key);
}

TEST_F(RegistryKeys, EnumerationIsByIndexInNameOrderWithTheSizeChecked) {
  HKEY parent = create(HKEY_CURRENT_USER, "Enum");
  for (const char* name : {"beta", "Alpha", "GAMMA"}) RegCloseKey(create(parent, name));
  EXPECT_THAT(subkeys(parent), ElementsAre("Alpha", "beta", "GAMMA"));

  char name[8] = "xxxxxxx";
  EXPECT_EQ(RegEnumKeyA(parent, 0, name, 5), ERROR_MORE_DATA);  // "Alpha" needs 6
  EXPECT_STREQ(name, "xxxxxxx");
  EXPECT_EQ(RegEnumKeyA(parent, 0, name, 6), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Alpha");
  EXPECT_EQ(RegEnumKeyA(parent, 3, name, sizeof name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumKeyA(parent, 0xFFFFFFFF, name, sizeof name), ERROR_NO_MORE_ITEMS);
  RegCloseKey(parent);
}

// The way COM unregistration removes a tree: enumerate, descend, delete from the leaves up.
void deleteTree(HKEY parent, const char* path) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  char name[256];
  while (RegEnumKeyA(key, 0, name, sizeof name) == ERROR_SUCCESS) deleteTree(key, name);
  RegCloseKey(key);
  ASSERT_EQ(RegDeleteKeyA(parent, path), ERROR_SUCCESS);
}

TEST_F(RegistryKeys, DeletionRefusesKeysWithSubkeysAndTakesValuesAlong) {
  HKEY leaf = create(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32");
  ASSERT_EQ(setString(leaf, "ThreadingModel", "Apartment"), ERROR_SUCCESS);
  RegCloseKey(leaf);

  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{X}"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "CLSID\\{Missing}"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "Nowhere\\{Missing}"), ERROR_FILE_NOT_FOUND);
  deleteTree(HKEY_CLASSES_ROOT, "clsid\\{x}");

  HKEY again = create(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32");
  EXPECT_EQ(read(again, "ThreadingModel").status, ERROR_FILE_NOT_FOUND);
  RegCloseKey(again);
}

TEST_F(RegistryKeys, HandlesAreCheckedOnEveryCall) {
  const HKEY bogus = reinterpret_cast<HKEY>(0x1234);
  HKEY key = nullptr;
  DWORD size = 0;
  char name[16];
  EXPECT_EQ(RegOpenKeyA(bogus, "X", &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCreateKeyA(nullptr, "X", &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(bogus, "V", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(setDword(bogus, "V", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegEnumKeyA(bogus, 0, name, sizeof name), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteKeyA(bogus, "X"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegDeleteValueA(bogus, "V"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);

  HKEY first = create(HKEY_CURRENT_USER, "Handles");
  HKEY second = nullptr, third = nullptr;
  ASSERT_EQ(RegOpenKeyA(first, nullptr, &second), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyA(first, "", &third), ERROR_SUCCESS);
  EXPECT_NE(second, first);
  EXPECT_NE(third, second);
  ASSERT_EQ(RegCloseKey(first), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);
  EXPECT_EQ(setDword(first, "V", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(setDword(second, "V", 1), ERROR_SUCCESS);
  EXPECT_EQ(read(third, "v").status, ERROR_SUCCESS);
  RegCloseKey(second);
  RegCloseKey(third);
}

TEST_F(RegistryKeys, AKeyDeletedUnderAnOpenHandleFailsThroughIt) {
  HKEY doomed = create(HKEY_CURRENT_USER, "Doomed");
  ASSERT_EQ(setDword(doomed, "V", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Doomed"), ERROR_SUCCESS);

  HKEY child = nullptr;
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(read(doomed, "V").status, ERROR_KEY_DELETED);
  EXPECT_EQ(setDword(doomed, "V", 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCreateKeyA(doomed, "Child", &child), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumKeyA(doomed, 0, name, sizeof name), ERROR_KEY_DELETED);
  EXPECT_EQ(RegEnumValueA(doomed, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
            ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(doomed, ""), ERROR_KEY_DELETED);

  // A key of the same name made afterwards is another key.
  HKEY reborn = create(HKEY_CURRENT_USER, "Doomed");
  EXPECT_EQ(setDword(doomed, "V", 3), ERROR_KEY_DELETED);
  EXPECT_EQ(read(reborn, "V").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);

  // Deleting through the handle itself.
  ASSERT_EQ(RegDeleteKeyA(reborn, ""), ERROR_SUCCESS);
  EXPECT_EQ(setDword(reborn, "V", 4), ERROR_KEY_DELETED);
  RegCloseKey(reborn);
}

}  // namespace
