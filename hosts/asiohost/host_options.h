// asiohost's command line.
#pragma once

#include <string>

struct HostOptions {
  std::string command;     // list, info, stream, panel
  std::string driverName;  // a key under SOFTWARE\ASIO; empty: the first one
  double seconds = 3.0;
  long bufferSize = 0;     // frames; 0: the driver's preferred size
  double rate = 0.0;       // Hz; 0: leave the driver's rate
  double toneHz = 440.0;   // output channel c plays toneHz x (c + 1)
  std::string playPath;    // WAV to the outputs instead of the tone
  std::string recordPath;  // inputs to WAV
  std::string playedPath;  // exactly what went to the outputs, to WAV
  double callbackMs = 0.0; // busy time spent in every callback
  bool bench = false;      // silence out, nothing recorded, one machine-readable line
  bool timeInfo = true;    // answer kAsioSupportsTimeInfo with 1
  bool positions = false;  // print every callback's sample position
};

// False with a message in *error for a command line that cannot be used.
bool parseHostOptions(int argc, char** argv, HostOptions* options, std::string* error);
const char* hostUsage();
