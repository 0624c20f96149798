#include "probe_options.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

const char kProbeUsage[] =
    "usage: meterprobe [options]\n"
    "Meters the card's two meter channels on the console, as Vexameter does.\n"
    "  --ballistics ppm|hold   PPM, or PPM with peak hold (default hold)\n"
    "  --clip-bits N           resolution at which clipping is judged, 1 to 32 (default 16)\n"
    "  --clip-count N          longest clip run that lights a clip lamp, 1 or more (default 3)\n"
    "  --seconds S             how long to meter, up to 86400 (default 5)\n"
    "  --interval MS           milliseconds between printed lines, 50 to 60000 (default 250)\n"
    "  --help                  this text\n";

namespace {

bool ParseInt(const char* text, long low, long high, int32_t& value) {
  errno = 0;
  char* end = nullptr;
  const long parsed = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || parsed < low || parsed > high) return false;
  value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseSeconds(const char* text, double& value) {
  errno = 0;
  char* end = nullptr;
  const double parsed = strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !(parsed > 0.0) || parsed > 86400.0)
    return false;
  value = parsed;
  return true;
}

}  // namespace

bool ParseProbeOptions(int argc, char** argv, ProbeOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const char* name = argv[i];
    if (strcmp(name, "--help") == 0 || strcmp(name, "-h") == 0) {
      options.help = true;
      continue;
    }
    if (i + 1 >= argc) {
      error = std::string("missing value after ") + name;
      return false;
    }
    const char* value = argv[++i];
    bool ok = true;
    if (strcmp(name, "--ballistics") == 0) {
      if (strcmp(value, "ppm") == 0)
        options.ballistics = 0;
      else if (strcmp(value, "hold") == 0)
        options.ballistics = 1;
      else
        ok = false;
    } else if (strcmp(name, "--clip-bits") == 0) {
      ok = ParseInt(value, 1, 32, options.clipBits);
    } else if (strcmp(name, "--clip-count") == 0) {
      ok = ParseInt(value, 1, 0x7FFFFFFF, options.clipCount);
    } else if (strcmp(name, "--seconds") == 0) {
      ok = ParseSeconds(value, options.seconds);
    } else if (strcmp(name, "--interval") == 0) {
      ok = ParseInt(value, 50, 60000, options.intervalMs);
    } else {
      error = std::string("unknown option ") + name;
      return false;
    }
    if (!ok) {
      error = std::string("bad value for ") + name + ": " + value;
      return false;
    }
  }
  return true;
}
