#include "driver_report.h"

#include <stdio.h>

namespace {

const double kRatesToTry[] = {8000,  9600,  11025, 12000, 16000, 22050, 24000,
                              32000, 44100, 48000, 88200, 96000, 192000};

void printChannels(IASIO* asio, long count, ASIOBool input) {
  for (long channel = 0; channel < count; channel++) {
    ASIOChannelInfo info{};
    info.channel = channel;
    info.isInput = input;
    ASIOError result = asio->getChannelInfo(&info);
    if (result != ASE_OK) {
      printf("  %s %ld: error %ld\n", input ? "in " : "out", channel, result);
      continue;
    }
    printf("  %s %ld: %-12s group %ld, type %ld%s\n", input ? "in " : "out", channel, info.name,
           info.channelGroup, info.type, info.isActive ? ", active" : "");
  }
}

}  // namespace

void printDriverReport(IASIO* asio) {
  char text[128] = {};
  asio->getDriverName(text);
  printf("name: %s\n", text);
  printf("version: %ld\n", asio->getDriverVersion());
  asio->getErrorMessage(text);
  printf("error text: %s\n", text);

  long inputs = 0, outputs = 0;
  ASIOError result = asio->getChannels(&inputs, &outputs);
  if (result != ASE_OK) {
    printf("channels: error %ld\n", result);
  } else {
    printf("channels: %ld in, %ld out\n", inputs, outputs);
    printChannels(asio, inputs, ASIOTrue);
    printChannels(asio, outputs, ASIOFalse);
  }

  long inputLatency = 0, outputLatency = 0;
  result = asio->getLatencies(&inputLatency, &outputLatency);
  if (result == ASE_OK)
    printf("latencies: input %ld, output %ld frames\n", inputLatency, outputLatency);
  else
    printf("latencies: error %ld\n", result);

  long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  result = asio->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
  if (result == ASE_OK)
    printf("buffer sizes: min %ld, max %ld, preferred %ld, granularity %ld\n", minSize, maxSize,
           preferred, granularity);
  else
    printf("buffer sizes: error %ld\n", result);

  ASIOSampleRate rate = 0;
  result = asio->getSampleRate(&rate);
  if (result == ASE_OK)
    printf("sample rate: %.0f Hz\n", rate);
  else
    printf("sample rate: error %ld\n", result);
  printf("rates:");
  for (double candidate : kRatesToTry)
    printf(" %.0f%s", candidate, asio->canSampleRate(candidate) == ASE_OK ? "" : "(no)");
  printf("\n");

  printf("time info: %s\n",
         asio->future(kAsioCanTimeInfo, nullptr) == ASE_SUCCESS ? "offered" : "not offered");

  ASIOClockSource clocks[8] = {};
  long count = 8;
  result = asio->getClockSources(clocks, &count);
  if (result != ASE_OK) {
    printf("clock sources: error %ld\n", result);
    return;
  }
  printf("clock sources: %ld\n", count);
  for (long i = 0; i < count && i < 8; i++)
    printf("  %ld: %-10s channel %ld, group %ld%s\n", clocks[i].index, clocks[i].name,
           clocks[i].associatedChannel, clocks[i].associatedGroup,
           clocks[i].isCurrentSource ? ", current" : "");
}
