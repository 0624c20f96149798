// Self-registration of the server: the class key under HKEY_CLASSES_ROOT\CLSID and the
// driver's key under HKEY_LOCAL_MACHINE\SOFTWARE\ASIO, where ASIO hosts look for drivers.
#pragma once

#include <objbase.h>

// Results of registration and unregistration: 0 or one of these.
enum RegistrationError : long {
  kModuleNotLoaded = -101,    // no module of that name in the process
  kModulePathEmpty = -102,
  kClsidNotString = -103,
  kClsidNotAnsi = -104,
  kRegistryFailed = -105,     // a registry step failed
};

long registerServer(REFCLSID clsid, const char* moduleName, const char* asioKeyName,
                    const char* description, const char* threadingModel);
long unregisterServer(REFCLSID clsid, const char* moduleName, const char* asioKeyName);
