// The ASIO drivers installed on this machine: the subkeys of HKEY_LOCAL_MACHINE\SOFTWARE\ASIO.
#pragma once

#include <objbase.h>

#include <string>
#include <vector>

struct InstalledDriver {
  std::string keyName;
  std::string clsidText;
  std::string description;
  CLSID clsid{};
  bool clsidValid = false;
};

// *status: ERROR_SUCCESS (none installed is no error), else the registry's error: the list is
// then incomplete.
std::vector<InstalledDriver> installedDrivers(LONG* status);
