// asiohost: an ASIO host for the drivers registered on this machine. Lists them, prints what
// one reports, streams through it with statistics, or opens its control panel.
#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "driver_list.h"
#include "driver_report.h"
#include "host_options.h"
#include "stream_session.h"

namespace {

const InstalledDriver* chooseDriver(const std::vector<InstalledDriver>& drivers,
                                    const std::string& name) {
  for (const auto& driver : drivers)
    if (name.empty() || strcasecmp(driver.keyName.c_str(), name.c_str()) == 0) return &driver;
  return nullptr;
}

int info(const InstalledDriver& driver) {
  IASIO* asio = nullptr;
  HRESULT result = CoCreateInstance(driver.clsid, nullptr, CLSCTX_INPROC_SERVER, driver.clsid,
                                    reinterpret_cast<void**>(&asio));
  if (result != S_OK || !asio) {
    fprintf(stderr, "asiohost: cannot create %s (0x%08lX)\n", driver.keyName.c_str(),
            static_cast<unsigned long>(result));
    return 1;
  }
  ASIOBool initialised = asio->init(nullptr);
  printf("driver: %s %s\n", driver.keyName.c_str(), driver.clsidText.c_str());
  printf("init: %s\n", initialised ? "ok" : "failed");
  printDriverReport(asio);
  asio->Release();
  return initialised ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(hostUsage(), stdout);
    return 0;
  }
  if (!parseHostOptions(argc, argv, &options, &error)) {
    fprintf(stderr, "asiohost: %s\n%s", error.c_str(), hostUsage());
    return 2;
  }
  if (CoInitialize(nullptr) != S_OK) {
    fprintf(stderr, "asiohost: COM did not initialise\n");
    return 1;
  }
  LONG registry = ERROR_SUCCESS;
  std::vector<InstalledDriver> drivers = installedDrivers(&registry);
  int status = 0;
  if (registry != ERROR_SUCCESS) {
    // An unreadable registry is no empty one: say so rather than report no drivers.
    fprintf(stderr, "asiohost: the registry could not be read (error %ld)\n",
            static_cast<long>(registry));
    status = 1;
  } else if (options.command == "list") {
    if (drivers.empty()) printf("no ASIO drivers installed\n");
    for (const auto& driver : drivers)
      printf("%s\t%s\t%s\n", driver.keyName.c_str(), driver.clsidText.c_str(),
             driver.description.c_str());
  } else {
    const InstalledDriver* driver = chooseDriver(drivers, options.driverName);
    if (!driver) {
      fprintf(stderr, "asiohost: no ASIO driver %s\n",
              options.driverName.empty() ? "installed" : ("named " + options.driverName).c_str());
      status = 1;
    } else if (!driver->clsidValid) {
      fprintf(stderr, "asiohost: %s has no valid CLSID\n", driver->keyName.c_str());
      status = 1;
    } else if (options.command == "info") {
      status = info(*driver);
    } else {
      StreamSession session(options, *driver);
      status = options.command == "stream" ? session.stream() : session.panel();
    }
  }
  CoUninitialize();
  return status;
}
