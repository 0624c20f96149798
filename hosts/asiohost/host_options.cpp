#include "host_options.h"

#include <stdlib.h>
#include <string.h>

namespace {

bool number(const char* text, double low, double high, double* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  double parsed = strtod(text, &end);
  if (*end != '\0' || !(parsed >= low && parsed <= high)) return false;
  *value = parsed;
  return true;
}

}  // namespace

const char* hostUsage() {
  return "usage: asiohost <command> [options]\n"
         "commands:\n"
         "  list                 the drivers under SOFTWARE\\ASIO\n"
         "  info                 what the driver reports\n"
         "  stream               stream and print statistics\n"
         "  panel                open the driver's control panel\n"
         "options:\n"
         "  -d, --driver NAME    the driver's key name (default: the first one)\n"
         "  -t, --seconds S      streaming time (default 3)\n"
         "  -b, --size FRAMES    half-buffer size (default: the driver's preferred size)\n"
         "  -r, --rate HZ        set this sample rate first\n"
         "  --tone HZ            tone on the outputs; output c plays HZ x (c + 1) (default 440)\n"
         "  --play FILE.wav      play a WAV file to the outputs instead\n"
         "  --record FILE.wav    record all inputs\n"
         "  --played FILE.wav    write what was sent to the outputs\n"
         "  --callback-ms MS     spend this long in every callback (a slow host)\n"
         "  --no-time-info       do not accept bufferSwitchTimeInfo\n"
         "  --positions          print the sample position of every callback\n"
         "  --bench              silence out, no recording, one BENCH line of figures\n";
}

bool parseHostOptions(int argc, char** argv, HostOptions* options, std::string* error) {
  if (argc < 2) {
    *error = "no command";
    return false;
  }
  options->command = argv[1];
  if (options->command != "list" && options->command != "info" && options->command != "stream" &&
      options->command != "panel") {
    *error = "unknown command '" + options->command + "'";
    return false;
  }
  for (int i = 2; i < argc; i++) {
    std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    double parsed = 0;
    auto needs = [&](bool ok) {
      if (!ok) *error = "option " + option + " needs a valid value";
      if (ok) i++;
      return ok;
    };
    if (option == "-d" || option == "--driver") {
      if (!needs(value != nullptr)) return false;
      options->driverName = value;
    } else if (option == "-t" || option == "--seconds") {
      if (!needs(number(value, 0.01, 3600, &parsed))) return false;
      options->seconds = parsed;
    } else if (option == "-b" || option == "--size") {
      if (!needs(number(value, 1, 1 << 20, &parsed))) return false;
      options->bufferSize = static_cast<long>(parsed);
    } else if (option == "-r" || option == "--rate") {
      if (!needs(number(value, 1, 1e6, &parsed))) return false;
      options->rate = parsed;
    } else if (option == "--tone") {
      if (!needs(number(value, 0, 1e5, &parsed))) return false;
      options->toneHz = parsed;
    } else if (option == "--play") {
      if (!needs(value != nullptr)) return false;
      options->playPath = value;
    } else if (option == "--record") {
      if (!needs(value != nullptr)) return false;
      options->recordPath = value;
    } else if (option == "--played") {
      if (!needs(value != nullptr)) return false;
      options->playedPath = value;
    } else if (option == "--callback-ms") {
      if (!needs(number(value, 0, 10000, &parsed))) return false;
      options->callbackMs = parsed;
    } else if (option == "--no-time-info") {
      options->timeInfo = false;
    } else if (option == "--positions") {
      options->positions = true;
    } else if (option == "--bench") {
      options->bench = true;
    } else {
      *error = "unknown option '" + option + "'";
      return false;
    }
  }
  return true;
}
