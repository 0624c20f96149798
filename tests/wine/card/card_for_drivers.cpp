// Linked into the card-model builds of the hosts: before main, loads the two drivers from the
// program's folder and redirects their device calls to the in-process card. COM and the EASI
// host then find these very modules loaded, so the drivers run unmodified against the card.
#include "driver_imports.h"

#include <stdio.h>
#include <string.h>

#include <initializer_list>

namespace {

struct CardForDrivers {
  CardForDrivers() {
    char folder[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, folder, sizeof folder);
    char* slash = strrchr(folder, '\\');
    if (length == 0 || length >= sizeof folder || !slash) return;
    for (const char* driver : {"tx_va.dll", "tx_ve.dll"}) {
      char path[MAX_PATH + 16];
      snprintf(path, sizeof path, "%.*s\\%s", static_cast<int>(slash - folder), folder, driver);
      HMODULE module = LoadLibraryA(path);
      int redirected = module ? wine_card::redirectDeviceImports(module) : 0;
      // Without all three the driver would reach no card, or a real one; say so loudly.
      if (redirected != 3) fprintf(stderr, "card model: %s: %d of 3 device imports redirected\n",
                                   driver, redirected);
    }
  }
} cardForDrivers;

}  // namespace
