// easihost: an EASI host for the Vexa card's driver, as a host application drives it.
#include "aggregating_host.h"
#include "driver_report.h"
#include "host_options.h"
#include "output_source.h"
#include "stream_session.h"
#include "wav_file.h"

#include <settings_key.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

namespace {

const char* errorMeaning(LONG code) {
  switch (code) {
    case EASI_NOT_AVAILABLE: return "the card driver cannot be opened";
    case EASI_REQUEST_FAILED: return "a request to the card driver failed";
    case EASI_IN_USE: return "the card is in use by another client";
    case EASI_HOST_LAGGING: return "the host fell behind the card";
    case EASI_WRONG_STATE: return "not allowed in the driver's state";
    case EASI_NO_THREAD: return "the streaming thread could not be created";
    default: return "unknown error";
  }
}

// The driver's index of `rate`, or -1 when it does not offer it.
LONG rateIndex(IEasiDriver* driver, uint32_t rate) {
  for (LONG i = 0; i < driver->getSampleRateCount(); ++i)
    if (static_cast<uint32_t>(driver->getSampleRateByIndex(i)) == rate) return i;
  return -1;
}

int stream(IEasiDriver* driver, AggregatingHost& host, const HostOptions& options,
           const WavData* sound) {
  // The benchmark plays silence and records nothing, as the other hosts' rows do.
  OutputSource source = sound            ? OutputSource(sound)
                        : options.bench ? OutputSource()
                                        : OutputSource(options.toneHz, options.toneDb, options.rate);
  StreamSession session(driver, source, options.rate);
  std::string error;
  bool record = !options.recordPath.empty() && !options.bench;
  bool keepPlayed = !options.playedPath.empty() && !options.bench;
  if (!session.setUp(options.seconds, record, keepPlayed, &error)) {
    fprintf(stderr, "easihost: %s\n", error.c_str());
    driver->closeDriver();
    return 3;
  }
  host.setHandler(&session);
  bool streamed = session.run(options.seconds, &error);
  // Ends the streaming thread; only then are the session's figures and recording final.
  driver->closeDriver();
  host.setHandler(nullptr);
  session.finish();
  if (!streamed) fprintf(stderr, "easihost: %s\n", error.c_str());

  printStreamFigures(session.figures(), options.rate, static_cast<LONG>(session.frames()));
  if (options.bench)
    printBenchLine(session.figures(), options.rate, static_cast<LONG>(session.frames()));
  int status = streamed ? 0 : 3;
  if (record) {
    if (session.writeRecording(options.recordPath, &error))
      printf("recorded inputs to %s\n", options.recordPath.c_str());
    else {
      fprintf(stderr, "easihost: %s\n", error.c_str());
      status = 4;
    }
  }
  if (keepPlayed) {
    if (session.writePlayed(options.playedPath, &error))
      printf("wrote played outputs to %s\n", options.playedPath.c_str());
    else {
      fprintf(stderr, "easihost: %s\n", error.c_str());
      status = 4;
    }
  }
  return status;
}

// A file that cannot be written is found out before the run, not after it.
bool canCreate(const std::string& path) {
  if (path.empty()) return true;
  FILE* file = fopen(path.c_str(), "ab");
  if (!file) {
    fprintf(stderr, "easihost: %s: cannot create: %s\n", path.c_str(), strerror(errno));
    return false;
  }
  fclose(file);
  return true;
}

int runHost(const HostOptions& options) {
  WavData sound;
  std::string error;
  if (!options.bench && (!canCreate(options.recordPath) || !canCreate(options.playedPath)))
    return 1;
  if (!options.playPath.empty()) {
    if (!readWav(options.playPath, &sound, &error)) {
      fprintf(stderr, "easihost: %s\n", error.c_str());
      return 1;
    }
    if (sound.rate != options.rate)
      printf("note: %s is at %lu Hz, the card runs at %lu Hz\n", options.playPath.c_str(),
             static_cast<unsigned long>(sound.rate), static_cast<unsigned long>(options.rate));
  }
  if (options.bufferSize) SettingsKey(EASI_SETTINGS_KEY).writeBufferSize(options.bufferSize);

  AggregatingHost host;
  if (!host.create(options.driver, &error)) {
    fprintf(stderr, "easihost: %s\n", error.c_str());
    return 2;
  }
  IEasiDriver* driver = host.driver();
  LONG opened = driver->openDriver();
  if (opened != EASI_OK) {
    fprintf(stderr, "easihost: openDriver failed: error %ld (%s)\n", static_cast<long>(opened),
            errorMeaning(opened));
    return 2;
  }
  if (options.describe) printDriverDescription(driver);

  if (options.panel) {
    HWND parent = nullptr;
    bool stored = driver->showControlPanel(&parent);
    printf("control panel: %s\n", stored ? "a new buffer size was stored (used at the next open)"
                                         : "nothing stored");
  }

  LONG index = rateIndex(driver, options.rate);
  if (index < 0) {
    fprintf(stderr, "easihost: the driver does not offer %lu Hz\n",
            static_cast<unsigned long>(options.rate));
    driver->closeDriver();
    return 1;
  }
  LONG rateResult = driver->setSampleRateByIndex(index);
  if (rateResult != EASI_OK)
    printf("warning: setting %lu Hz failed: error %ld (%s)\n",
           static_cast<unsigned long>(options.rate), static_cast<long>(rateResult),
           errorMeaning(rateResult));

  if (options.seconds <= 0) {
    driver->closeDriver();
    return 0;
  }
  return stream(driver, host, options, options.playPath.empty() ? nullptr : &sound);
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (!parseHostOptions(argc, argv, &options, &error)) {
    fprintf(stderr, "easihost: %s\n%s", error.c_str(), hostUsage());
    return 1;
  }
  if (options.help) {
    printf("%s", hostUsage());
    return 0;
  }
  CoInitialize(nullptr);
  int status = runHost(options);
  CoUninitialize();
  fflush(stdout);
  return status;
}
