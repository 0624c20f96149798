// meterprobe: a console meter on the meter engine. Opens the meter client as Vexameter does,
// starts it, sleeps alertably in 80 ms steps so that the card's notifications run, and prints
// levels, peaks and the longest clip runs a few times a second.
#include "channel_pair_meter.h"
#include "llva_vxd_device.h"
#include "meter_errors.h"
#include "probe_options.h"

#include <stdio.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

const DWORD kAlertableSleepMs = 80;

// Rounded for one decimal without showing "-0.0".
double Shown(double db) { return db > -0.05 ? 0.0 : db; }

void PrintLine(const char* label, const ChannelPairMeter& meter, LONG rate) {
  printf("%-8s %6ld Hz  level %6.1f %6.1f dB  peak %6.1f %6.1f dB  clip runs %d %d  lamps %c %c"
         "  blocks %u\n",
         label, static_cast<long>(rate), Shown(meter.LevelDb(0)), Shown(meter.LevelDb(1)),
         Shown(meter.PeakDb(0)), Shown(meter.PeakDb(1)), meter.LongestClipRun(0),
         meter.LongestClipRun(1),
         meter.ClipLamp(0) ? '*' : '-', meter.ClipLamp(1) ? '*' : '-', meter.Blocks());
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  ProbeOptions options;
  std::string error;
  if (!ParseProbeOptions(argc, argv, options, error)) {
    fprintf(stderr, "meterprobe: %s\n%s", error.c_str(), kProbeUsage);
    return 2;
  }
  if (options.help) {
    fputs(kProbeUsage, stdout);
    return 0;
  }

  ChannelPairMeter meter(options.ballistics, options.clipBits, options.clipCount);
  std::unique_ptr<LLVAVxDDevice> device;
  // The meter program's own start-up messages.
  try {
    device = std::make_unique<LLVAVxDDevice>(
        &meter, static_cast<MeterDataCallback>(&ChannelPairMeter::OnMeterData), 44100);
    meter.SetDevice(device.get());
    device->SetSampleRateCallback(
        &meter, static_cast<SampleRateCallback>(&ChannelPairMeter::OnSampleRateChange));
    device->Start();
  } catch (const LLVAVersionMismatchError&) {
    fprintf(stderr, "Vexa-o-meter: wrong driver version!\n");
    return 1;
  } catch (const LLVANotInstalledError&) {
    fprintf(stderr, "Vexa-o-meter: drivers are disabled, missing, or in use!\n");
    return 1;
  } catch (const AnyError& failure) {
    fprintf(stderr, "Vexa-o-meter: %s, exiting!\n", failure.Message());
    return 1;
  }

  printf("meterprobe: %s, clip bits %d, clip count %d, %.2f s\n", meter.ModeName(),
         options.clipBits, options.clipCount, options.seconds);
  fflush(stdout);

  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end =
      start + std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double>(options.seconds));
  const Clock::duration interval = std::chrono::milliseconds(options.intervalMs);
  Clock::time_point nextLine = start + interval;
  for (;;) {
    SleepEx(kAlertableSleepMs, TRUE);
    const Clock::time_point now = Clock::now();
    if (now >= end) break;
    if (now >= nextLine) {
      char label[32];
      snprintf(label, sizeof label, "%.2fs",
               std::chrono::duration<double>(now - start).count());
      PrintLine(label, meter, device->GetSampleRate());
      while (nextLine <= now) nextLine += interval;
    }
  }

  const LONG rate = device->GetSampleRate();
  // Stop and close before the summary: nothing more arrives after this.
  meter.SetDevice(nullptr);
  device.reset();
  PrintLine("final", meter, rate);
  if (meter.Blocks() == 0) {
    fprintf(stderr, "meterprobe: no meter data arrived\n");
    return 3;
  }
  return 0;
}
