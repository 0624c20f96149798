// easihost's command line.
#pragma once

#include <stdint.h>

#include <string>

struct HostOptions {
  std::string driver = "tx_ve.dll";
  double seconds = 2.0;
  uint32_t rate = 48000;
  uint32_t bufferSize = 0;  // 0: leave the stored size alone
  double toneHz = 1000.0;
  double toneDb = -6.0;
  std::string playPath;
  std::string recordPath;
  std::string playedPath;
  bool panel = false;
  bool describe = true;
  bool bench = false;
  bool help = false;
};

// False with *error set for an unknown option or a bad value.
bool parseHostOptions(int argc, char** argv, HostOptions* options, std::string* error);
const char* hostUsage();
