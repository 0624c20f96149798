#include "host_options.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

bool number(const char* text, double low, double high, double* value) {
  char* end = nullptr;
  double parsed = strtod(text, &end);
  if (!text[0] || *end || !(parsed >= low && parsed <= high)) return false;
  *value = parsed;
  return true;
}

}  // namespace

const char* hostUsage() {
  return "usage: easihost [options]\n"
         "Loads the EASI driver, aggregates it with its own callback object, prints what it\n"
         "reports, and streams: a tone or a WAV file to every output, the inputs to a WAV file.\n"
         "\n"
         "  --driver MODULE     driver module (default tx_ve.dll, found beside easihost)\n"
         "  --seconds S         stream for S seconds, 0 to only describe (default 2)\n"
         "  --rate HZ           sample rate, one the driver offers (default 48000)\n"
         "  --buffer-size N     store N frames as the EASI buffer size before opening\n"
         "  --tone HZ           sine tone frequency (default 1000)\n"
         "  --level DB          tone level below full scale (default -6)\n"
         "  --play FILE.wav     play a WAV file (8/16/24/32-bit PCM) instead of the tone\n"
         "  --record FILE.wav   record every input to a 32-bit WAV file\n"
         "  --played FILE.wav   also write what was sent to the outputs\n"
         "  --panel             open the driver's control panel after opening\n"
         "  --brief             skip the channel and descriptor listing\n"
         "  --bench             silence out, no recording, one BENCH line of figures\n"
         "  --help              this text\n";
}

bool parseHostOptions(int argc, char** argv, HostOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        *error = option + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto numeric = [&](double low, double high, double* out) {
      const char* text;
      if (!value(&text)) return false;
      if (!number(text, low, high, out)) {
        char range[64];
        snprintf(range, sizeof range, "%g to %g", low, high);
        *error = option + ": '" + text + "' is not a number from " + range;
        return false;
      }
      return true;
    };
    const char* text = nullptr;
    double parsed = 0;
    if (option == "--help" || option == "-h") {
      options->help = true;
    } else if (option == "--driver") {
      if (!value(&text)) return false;
      options->driver = text;
    } else if (option == "--seconds") {
      if (!numeric(0, 86400, &options->seconds)) return false;
    } else if (option == "--rate") {
      if (!numeric(1, 1000000, &parsed)) return false;
      options->rate = static_cast<uint32_t>(parsed);
    } else if (option == "--buffer-size") {
      if (!numeric(1, 1 << 20, &parsed)) return false;
      options->bufferSize = static_cast<uint32_t>(parsed);
    } else if (option == "--tone") {
      if (!numeric(0, 1000000, &options->toneHz)) return false;
    } else if (option == "--level") {
      if (!numeric(-200, 200, &options->toneDb)) return false;
    } else if (option == "--play") {
      if (!value(&text)) return false;
      options->playPath = text;
    } else if (option == "--record") {
      if (!value(&text)) return false;
      options->recordPath = text;
    } else if (option == "--played") {
      if (!value(&text)) return false;
      options->playedPath = text;
    } else if (option == "--panel") {
      options->panel = true;
    } else if (option == "--brief") {
      options->describe = false;
    } else if (option == "--bench") {
      options->bench = true;
      options->describe = false;
    } else {
      *error = "unknown option " + option;
      return false;
    }
  }
  return true;
}
