#include "daemon_options.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

namespace txvv {

const char* daemonUsage() {
  return R"(Usage: txvvd [options]
The simulated Vexa card and its TX_VV driver. Every process that opens \\.\TX_VV.VXD talks to
it through a Unix socket that only this user can open.

  --socket PATH            listen here (default: $VEXA_CARD, else $XDG_RUNTIME_DIR/vexa-card.sock,
                           else /tmp/vexa-<uid>/card)
  --status                 print the running card's state and exit
  --on-demand              start in the background; exit once no handle has been open for the
                           linger time (this is how opening the device starts it)
  --linger MS              with --on-demand: how long to stay without handles (default 5000)
  --help                   this text

The card:
  --inputs N, --outputs N  channels per direction, 1 to 40 (default 4; the last two are S/PDIF)
  --min-buffer FRAMES      the smallest half buffer and the step of all sizes (default 32)
  --rate HZ                internal clock rate (default 44100)
  --spdif-rate HZ          an S/PDIF input is present at this rate (default 44100)
  --no-spdif               no S/PDIF input (slaved means no clock: rate 0)
  --spdif-change MS:HZ     MS after start the S/PDIF input changes to HZ (0: it goes away);
                           may be given several times, in order
  --slave                  start slaved to the S/PDIF input
  --routing MODE           0 Normal, 1 4x4, 2 Converter, 3 Normal + S/PDIF, 4 4x4 + S/PDIF

Signals (inputs not named are silent):
  --signal IN=SIGNAL       SIGNAL is one of
                             silence
                             sine[:HZ[:DBFS]]      (default 1000 Hz, -20 dBFS)
                             noise[:DBFS]          (default -20 dBFS)
                             wav:PATH[:CHANNEL]    a WAV file (integer PCM), looped
                             loop:OUT              the samples output OUT plays, bit-exact
                           optionally followed by ,clip:LENGTH:EVERY: LENGTH full-scale samples
                           (0x7FFFFFFF) at the start of every EVERY samples
  --loopback               every input loops back the output of the same number
  --lively                 a lively demo signal on every input
  --capture OUT=PATH       record what output OUT plays to a 32-bit WAV file

Meter:
  --meter-block FRAMES     samples per channel in each meter block, 32 to 8192 (default: rate / 25)
  --meter-slots N          blocks a meter client may hold unacknowledged, 1 to 64 (default 8)

Counters and faults:
  --sample-count-start N   start value of the 32-bit sample counter (default 0)
  --ms-start N             the millisecond clock reads N when txvvd starts (default: the
                           system's monotonic milliseconds)
  --version-word N         the word the version request answers (default 0)
  --refuse-stream          the stream request fails
  --empty-stream           the stream request succeeds with 0 bytes
  --refuse CODE[,CODE..]   requests with these codes fail (e.g. 0x220058)
  --unsupported-hardware   the information record rejects the hardware (offset 8 non-zero)
  --rt-priority N          SCHED_FIFO priority of the clock thread, 0 for normal (default 70)

Numbers may be given in hexadecimal with 0x.
)";
}

namespace {

bool number(const std::string& text, uint64_t max, uint32_t* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = strtoull(text.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || parsed > max) return false;
  *value = uint32_t(parsed);
  return true;
}

bool decimal(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && *value == *value;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

bool parseSignal(const std::string& text, SignalSetup* setup, std::string* error) {
  std::string body = text;
  size_t comma = text.find(",clip:");
  if (comma != std::string::npos) {
    body = text.substr(0, comma);
    auto clip = split(text.substr(comma + 6), ':');
    if (clip.size() != 2 || !number(clip[0], 1u << 30, &setup->clipLength) ||
        !number(clip[1], 1u << 30, &setup->clipEvery) || setup->clipEvery == 0 ||
        setup->clipLength > setup->clipEvery) {
      *error = "bad clip burst in '" + text + "' (LENGTH:EVERY, LENGTH <= EVERY)";
      return false;
    }
  }
  std::vector<std::string> parts = split(body, ':');
  const std::string& kind = parts[0];
  bool ok = true;
  if (kind == "silence" && parts.size() == 1) {
    setup->kind = SignalSetup::Silence;
  } else if (kind == "sine" && parts.size() <= 3) {
    setup->kind = SignalSetup::Sine;
    if (parts.size() > 1) ok = decimal(parts[1], &setup->frequency) && setup->frequency >= 0 && setup->frequency < 1e6;
    if (ok && parts.size() > 2) ok = decimal(parts[2], &setup->levelDb) && setup->levelDb <= 0 && setup->levelDb > -200;
  } else if (kind == "noise" && parts.size() <= 2) {
    setup->kind = SignalSetup::Noise;
    if (parts.size() > 1) ok = decimal(parts[1], &setup->levelDb) && setup->levelDb <= 0 && setup->levelDb > -200;
  } else if (kind == "wav" && (parts.size() == 2 || parts.size() == 3) && !parts[1].empty()) {
    setup->kind = SignalSetup::Wav;
    setup->path = parts[1];
    if (parts.size() == 3) ok = number(parts[2], 255, &setup->wavChannel);
  } else if (kind == "loop" && parts.size() == 2) {
    setup->kind = SignalSetup::Loop;
    ok = number(parts[1], kMaxChannels - 1, &setup->loopOutput);
  } else {
    ok = false;
  }
  if (!ok) *error = "bad signal '" + text + "' (see --help)";
  return ok;
}

bool channelAssignment(const std::string& text, uint32_t* channel, std::string* rest) {
  size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  *rest = text.substr(equals + 1);
  return number(text.substr(0, equals), kMaxChannels - 1, channel) && !rest->empty();
}

}  // namespace

bool parseDaemonOptions(int argc, char** argv, DaemonOptions* options, std::string* error) {
  CardOptions& card = options->card;
  bool loopback = false, lively = false;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    std::string value;
    if (size_t equals = option.find('='); option.rfind("--", 0) == 0 && equals != std::string::npos &&
                                          option.find("--signal") != 0 && option.find("--capture") != 0) {
      value = option.substr(equals + 1);
      option = option.substr(0, equals);
    }
    auto takesValue = [&]() {
      if (!value.empty()) return true;
      if (i + 1 >= argc) {
        *error = option + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto bad = [&]() {
      *error = "bad value '" + value + "' for " + option;
      return false;
    };
    uint32_t n = 0;
    if (option == "--help" || option == "-h") {
      options->help = true;
    } else if (option == "--status") {
      options->status = true;
    } else if (option == "--on-demand") {
      options->onDemand = true;
    } else if (option == "--socket") {
      if (!takesValue()) return false;
      options->socketPath = value;
    } else if (option == "--linger") {
      if (!takesValue()) return false;
      if (!number(value, 86400000, &n)) return bad();
      options->lingerMs = int(n);
    } else if (option == "--inputs" || option == "--outputs") {
      if (!takesValue()) return false;
      if (!number(value, kMaxChannels, &n) || n == 0) return bad();
      (option == "--inputs" ? card.inputs : card.outputs) = n;
    } else if (option == "--min-buffer") {
      if (!takesValue()) return false;
      if (!number(value, kMaxHalfFrames, &n) || n == 0) return bad();
      card.minBufferFrames = n;
    } else if (option == "--rate" || option == "--spdif-rate") {
      if (!takesValue()) return false;
      if (!number(value, 0xFFFFFFFF, &n) || !isSupportedRate(n)) {
        *error = "bad value '" + value + "' for " + option +
                 " (9600, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000, 88200 or 96000)";
        return false;
      }
      (option == "--rate" ? card.rate : card.spdifRate) = n;
    } else if (option == "--no-spdif") {
      card.spdifPresent = false;
    } else if (option == "--spdif-change") {
      if (!takesValue()) return false;
      auto parts = split(value, ':');
      SpdifChange change{};
      if (parts.size() != 2 || !number(parts[0], 86400000, &change.afterMs) ||
          !number(parts[1], 96000, &change.rate) || (change.rate != 0 && !isSupportedRate(change.rate)))
        return bad();
      if (!card.spdifChanges.empty() && card.spdifChanges.back().afterMs > change.afterMs) {
        *error = "--spdif-change times must not go back";
        return false;
      }
      card.spdifChanges.push_back(change);
    } else if (option == "--slave") {
      card.slaved = true;
    } else if (option == "--routing") {
      if (!takesValue()) return false;
      if (!number(value, 4, &n)) return bad();
      card.routing = n;
    } else if (option.rfind("--signal", 0) == 0) {
      std::string assignment = option.size() > 9 && option[8] == '=' ? option.substr(9) : "";
      if (assignment.empty()) {
        if (i + 1 >= argc) {
          *error = "--signal needs IN=SIGNAL";
          return false;
        }
        assignment = argv[++i];
      }
      uint32_t input;
      std::string setup;
      if (!channelAssignment(assignment, &input, &setup)) {
        *error = "bad --signal '" + assignment + "' (IN=SIGNAL)";
        return false;
      }
      SignalSetup signal;
      if (!parseSignal(setup, &signal, error)) return false;
      card.signals[input] = signal;
    } else if (option == "--loopback") {
      loopback = true;
    } else if (option == "--lively") {
      lively = true;
    } else if (option.rfind("--capture", 0) == 0) {
      std::string assignment = option.size() > 10 && option[9] == '=' ? option.substr(10) : "";
      if (assignment.empty()) {
        if (i + 1 >= argc) {
          *error = "--capture needs OUT=PATH";
          return false;
        }
        assignment = argv[++i];
      }
      uint32_t output;
      std::string path;
      if (!channelAssignment(assignment, &output, &path)) {
        *error = "bad --capture '" + assignment + "' (OUT=PATH)";
        return false;
      }
      card.captures[output] = path;
    } else if (option == "--meter-block") {
      if (!takesValue()) return false;
      if (!number(value, 8192, &n) || n < 32) return bad();
      card.meterBlockFrames = n;
    } else if (option == "--meter-slots") {
      if (!takesValue()) return false;
      if (!number(value, 64, &n) || n == 0) return bad();
      card.meterSlots = n;
    } else if (option == "--sample-count-start") {
      if (!takesValue()) return false;
      if (!number(value, 0xFFFFFFFF, &card.sampleCountStart)) return bad();
    } else if (option == "--ms-start") {
      if (!takesValue()) return false;
      if (!number(value, 0xFFFFFFFF, &card.msStart)) return bad();
      card.msStartSet = true;
    } else if (option == "--version-word") {
      if (!takesValue()) return false;
      if (!number(value, 0xFFFFFFFF, &card.versionWord)) return bad();
    } else if (option == "--refuse-stream") {
      card.streamFault = StreamFault::Refuse;
    } else if (option == "--empty-stream") {
      card.streamFault = StreamFault::Empty;
    } else if (option == "--refuse") {
      if (!takesValue()) return false;
      for (const std::string& code : split(value, ',')) {
        if (!number(code, 0xFFFFFFFF, &n)) {
          *error = "bad request code '" + code + "' for --refuse";
          return false;
        }
        card.refusedCodes.insert(n);
      }
    } else if (option == "--unsupported-hardware") {
      card.unsupportedHardware = true;
    } else if (option == "--rt-priority") {
      if (!takesValue()) return false;
      if (!number(value, 99, &n)) return bad();
      card.rtPriority = int(n);
    } else {
      *error = "unknown option '" + option + "' (see --help)";
      return false;
    }
  }
  if (card.minBufferFrames > kMaxHalfFrames) {
    *error = "--min-buffer above the largest half buffer";
    return false;
  }
  if (lively) {
    static const char* setups[] = {"sine:440:-9", "sine:554.37:-14", "noise:-30,clip:3:44100",
                                  "sine:1000:-20"};
    for (uint32_t i = 0; i < card.inputs; ++i) {
      if (card.signals.count(i)) continue;
      SignalSetup signal;
      parseSignal(setups[i % 4], &signal, error);
      card.signals[i] = signal;
    }
  }
  if (loopback) {
    for (uint32_t i = 0; i < card.inputs && i < card.outputs; ++i) {
      if (card.signals.count(i)) continue;
      SignalSetup signal;
      signal.kind = SignalSetup::Loop;
      signal.loopOutput = i;
      card.signals[i] = signal;
    }
  }
  for (auto& [input, signal] : card.signals) {
    if (input >= card.inputs) {
      *error = "--signal for input " + std::to_string(input) + ", but the card has " +
               std::to_string(card.inputs) + " inputs";
      return false;
    }
    if (signal.kind == SignalSetup::Loop && signal.loopOutput >= card.outputs) {
      *error = "input " + std::to_string(input) + " loops back output " +
               std::to_string(signal.loopOutput) + ", which does not exist";
      return false;
    }
  }
  for (auto& [output, path] : card.captures) {
    if (output >= card.outputs) {
      *error = "--capture for output " + std::to_string(output) + ", which does not exist";
      return false;
    }
  }
  if (options->onDemand && options->lingerMs < 0) options->lingerMs = 5000;
  return true;
}

}  // namespace txvv
