// registry_writer <prefix> <count>: writes values <prefix>-0 .. <prefix>-<count-1> (REG_DWORD,
// the index) and one shared value into HKEY_CURRENT_USER\Software\VexaTest\Concurrent, each
// in its own call, in the store that $VEXA_REGISTRY names. Exit status 0 when every call
// succeeded.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: registry_writer <prefix> <count>\n");
    return 2;
  }
  const std::string prefix = argv[1];
  const long count = std::strtol(argv[2], nullptr, 10);
  for (long i = 0; i < count; ++i) {
    // Reopening the key each time also races the key's creation and lookup.
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\VexaTest\\Concurrent", 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
      std::fprintf(stderr, "%s: RegCreateKeyExA failed with %ld at %ld\n", argv[1], status, i);
      return 1;
    }
    DWORD value = static_cast<DWORD>(i);
    std::string name = prefix + "-" + std::to_string(i);
    status = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value);
    if (status == ERROR_SUCCESS)
      status = RegSetValueExA(key, "Shared", 0, REG_SZ, reinterpret_cast<const BYTE*>(argv[1]),
                              static_cast<DWORD>(prefix.size() + 1));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
      std::fprintf(stderr, "%s: RegSetValueExA failed with %ld at %ld\n", argv[1], status, i);
      return 1;
    }
  }
  return 0;
}
