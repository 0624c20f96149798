// txvvd's command line.
#pragma once

#include "../card/card_options.h"

#include <string>

namespace txvv {

struct DaemonOptions {
  CardOptions card;
  std::string socketPath;  // empty: the default place
  bool status = false;
  bool help = false;
  bool onDemand = false;
  int lingerMs = -1;  // exit once no handle has been open this long; -1: never
};

// False with *error set for an unknown option or a bad value.
bool parseDaemonOptions(int argc, char** argv, DaemonOptions* options, std::string* error);
const char* daemonUsage();

}  // namespace txvv
