// The built tx_va module loaded into the test process, with its exports.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>

struct ServerModule {
  typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
  typedef HRESULT(STDAPICALLTYPE* NoArgumentFn)();

  explicit ServerModule(const std::string& path = builtPath()) {
    module = LoadLibraryA(path.c_str());
    if (!module) return;
    getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    canUnloadNow = reinterpret_cast<NoArgumentFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    registerServer = reinterpret_cast<NoArgumentFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
    unregisterServer = reinterpret_cast<NoArgumentFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
  }
  ~ServerModule() {
    if (module) FreeLibrary(module);
  }
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  // build/bin: $VEXA_BIN_DIR (set by CTest), else beside the test's own folder.
  static std::string builtPath() {
    if (const char* bin = getenv("VEXA_BIN_DIR")) return std::string(bin) + "/tx_va.so";
    char self[512] = {};
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string folder = length > 0 ? std::string(self, static_cast<size_t>(length)) : "./x";
    return folder.substr(0, folder.rfind('/')) + "/../bin/tx_va.so";
  }

  bool loaded() const {
    return module && getClassObject && canUnloadNow && registerServer && unregisterServer;
  }

  HMODULE module = nullptr;
  GetClassObjectFn getClassObject = nullptr;
  NoArgumentFn canUnloadNow = nullptr;
  NoArgumentFn registerServer = nullptr;
  NoArgumentFn unregisterServer = nullptr;
};
