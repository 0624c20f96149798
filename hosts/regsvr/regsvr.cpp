// regsvr: registers or unregisters an in-process COM server through its own exports.
//   regsvr [-u] <module>
#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <string.h>

namespace {

typedef HRESULT(STDAPICALLTYPE* ServerEntry)();

int usage() {
  fprintf(stderr,
          "usage: regsvr [-u] <module>\n"
          "  Loads the module and calls its DllRegisterServer, or with -u its "
          "DllUnregisterServer.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; i++) {
    if (strcmp(argv[i], "-u") == 0)
      unregister = true;
    else if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "--help") == 0)
      return usage(), 0;
    else if (argv[i][0] == '-' || path)
      return usage();
    else
      path = argv[i];
  }
  if (!path) return usage();

  const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  HRESULT initialised = CoInitialize(nullptr);
  HMODULE module = LoadLibraryA(path);
  if (!module) {
    fprintf(stderr, "regsvr: cannot load %s (error %lu)\n", path, GetLastError());
    if (SUCCEEDED(initialised)) CoUninitialize();
    return 1;
  }
  auto entry = reinterpret_cast<ServerEntry>(reinterpret_cast<void*>(GetProcAddress(module, entryName)));
  int status = 1;
  if (!entry) {
    fprintf(stderr, "regsvr: %s has no %s\n", path, entryName);
  } else {
    HRESULT result = entry();
    if (result == S_OK) {
      printf("regsvr: %s in %s succeeded\n", entryName, path);
      status = 0;
    } else {
      fprintf(stderr, "regsvr: %s in %s failed (0x%08lX)\n", entryName, path,
              static_cast<unsigned long>(result));
    }
  }
  FreeLibrary(module);
  if (SUCCEEDED(initialised)) CoUninitialize();
  return status;
}
