#include "driver_list.h"

#include <windows.h>

namespace {

std::string readString(HKEY key, const char* name) {
  char text[256] = {};
  DWORD size = sizeof text - 1;
  DWORD type = REG_NONE;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ)
    return "";
  text[size < sizeof text ? size : sizeof text - 1] = '\0';
  return text;
}

}  // namespace

std::vector<InstalledDriver> installedDrivers(LONG* status) {
  std::vector<InstalledDriver> drivers;
  HKEY root = nullptr;
  *status = RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO", &root);
  if (*status == ERROR_FILE_NOT_FOUND) *status = ERROR_SUCCESS;  // nothing installed
  if (root == nullptr || *status != ERROR_SUCCESS) return drivers;
  char name[MAX_PATH + 1];
  for (DWORD index = 0;; index++) {
    LONG found = RegEnumKeyA(root, index, name, sizeof name);
    if (found != ERROR_SUCCESS) {
      if (found != ERROR_NO_MORE_ITEMS) *status = found;
      break;
    }
    InstalledDriver driver;
    driver.keyName = name;
    HKEY key = nullptr;
    if (RegOpenKeyA(root, name, &key) == ERROR_SUCCESS) {
      driver.clsidText = readString(key, "CLSID");
      driver.description = readString(key, "Description");
      RegCloseKey(key);
    }
    WCHAR wide[64] = {};
    if (!driver.clsidText.empty() &&
        MultiByteToWideChar(CP_ACP, 0, driver.clsidText.c_str(), -1, wide, 64) > 0)
      driver.clsidValid = CLSIDFromString(wide, &driver.clsid) == S_OK;
    drivers.push_back(driver);
  }
  RegCloseKey(root);
  return drivers;
}
