// meterprobe's command line.
#pragma once

#include <stdint.h>

#include <string>

struct ProbeOptions {
  int32_t ballistics = 1;  // 0: PPM, 1: PPM with peak hold, as the meter window's choice
  int32_t clipBits = 16;
  int32_t clipCount = 3;        // a longest run this long lights the clip lamp
  double seconds = 5.0;         // how long to meter
  int32_t intervalMs = 250;     // time between printed lines
  bool help = false;
};

// False with a message in `error` when the arguments cannot be used.
bool ParseProbeOptions(int argc, char** argv, ProbeOptions& options, std::string& error);

extern const char kProbeUsage[];
