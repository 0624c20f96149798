#include "module_path.h"

#include <windows.h>
#include <string.h>

void normalizeModulePath(char* path) {
#ifdef _WIN32
  CharLowerA(path);
#else
  (void)path;
#endif
}

bool sameModulePath(const char* a, const char* b) {
#ifdef _WIN32
  return lstrcmpiA(a, b) == 0;
#else
  return strcmp(a, b) == 0;
#endif
}
