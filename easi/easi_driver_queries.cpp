// What the EASI driver object tells a host about its channels, rates, formats and buffers,
// and the answers of the operations this card does not support.
#include "easi_driver.h"

#include <new>

namespace {

const char* const outputNames[] = {"VexaEASI out 0", "VexaEASI out 1", "VexaEASI out 2",
                                   "VexaEASI out 3"};
const char* const inputNames[] = {"VexaEASI in 0", "VexaEASI in 1", "VexaEASI in 2",
                                  "VexaEASI in 3"};
const LONG sampleRates[] = {44100, 48000, 88200, 96000};

constexpr LONG kNamedChannels = 4;
constexpr LONG kSampleRateCount = 4;

void describe(EasiChannelBuffer* buffers, const HalfBufferPair* entries, DWORD count,
              LONG half, LONG frames) {
  for (DWORD j = 0; j < count; ++j) {
    buffers[j].data = entries[j].half[half];
    buffers[j].half = half;
    buffers[j].channels = 1;
    buffers[j].frames = frames;
    buffers[j].bytesPerSample = 4;
    buffers[j].fullScale = kEasiFullScale;
  }
}

}  // namespace

bool EasiDriver::makeDescriptors() {
  const StreamConfig& config = device->config;
  LONG frames = static_cast<LONG>(config.bufferBytes >> 2);
  for (LONG half = 0; half < 2; ++half) {
    outputBuffers[half] = new (std::nothrow) EasiChannelBuffer[config.numOutputs];
    inputBuffers[half] = new (std::nothrow) EasiChannelBuffer[config.numInputs];
    if (!outputBuffers[half] || !inputBuffers[half]) return false;
    describe(outputBuffers[half], config.outputs, config.numOutputs, half, frames);
    describe(inputBuffers[half], config.inputs, config.numInputs, half, frames);
  }
  return true;
}

void EasiDriver::releaseDescriptors() {
  for (int half = 0; half < 2; ++half) {
    delete[] outputBuffers[half];
    delete[] inputBuffers[half];
    outputBuffers[half] = nullptr;
    inputBuffers[half] = nullptr;
  }
}

LONG STDMETHODCALLTYPE EasiDriver::getChannelCount(LONG direction) {
  if (is(EasiState::Closed)) return refuse();
  if (direction == EASI_OUTPUT) return static_cast<LONG>(device->config.numOutputs);
  if (direction == EASI_INPUT) return static_cast<LONG>(device->config.numInputs);
  return 0;
}

const char* STDMETHODCALLTYPE EasiDriver::getChannelName(LONG direction, LONG channel) {
  if (is(EasiState::Closed)) return "unknown";
  if (channel < 0 || channel >= kNamedChannels) return nullptr;
  if (direction == EASI_OUTPUT) return outputNames[channel];
  if (direction == EASI_INPUT) return inputNames[channel];
  return nullptr;
}

LONG STDMETHODCALLTYPE EasiDriver::getSampleRateCount() { return kSampleRateCount; }

LONG STDMETHODCALLTYPE EasiDriver::getSampleRateByIndex(LONG index) {
  if (index < 0 || index >= kSampleRateCount) return 0;
  return sampleRates[index];
}

EasiBool STDMETHODCALLTYPE EasiDriver::isFormatSupported(LONG direction, LONG format) {
  if (direction != EASI_OUTPUT && direction != EASI_INPUT) return false;
  return format == EASI_FORMAT_8 || format == EASI_FORMAT_12 || format == EASI_FORMAT_16 ||
         format == EASI_FORMAT_20;
}

EasiChannelBuffer* STDMETHODCALLTYPE EasiDriver::getChannelBuffers(LONG direction) {
  // Closed first: asking for the count there would record an error.
  if (is(EasiState::Closed)) return nullptr;
  IEasiDriver* self = this;
  if (self->getChannelCount(direction) == 0) return nullptr;
  if (direction == EASI_OUTPUT) return outputBuffers[0];
  if (direction == EASI_INPUT) return inputBuffers[0];
  return nullptr;
}

EasiChannelBuffer* STDMETHODCALLTYPE EasiDriver::getChannelBuffer(LONG half, LONG direction,
                                                                  LONG channel) {
  if (is(EasiState::Closed) || !device) return nullptr;
  if (half != 0 && half != 1) return nullptr;
  DWORD index = static_cast<DWORD>(channel);  // a negative channel is out of range too
  if (direction == EASI_OUTPUT && outputBuffers[half] && index < device->config.numOutputs)
    return &outputBuffers[half][index];
  if (direction == EASI_INPUT && inputBuffers[half] && index < device->config.numInputs)
    return &inputBuffers[half][index];
  return nullptr;
}

LONG STDMETHODCALLTYPE EasiDriver::getBufferFrames(LONG) {
  if (!device) return 0;
  return static_cast<LONG>(device->config.bufferBytes >> 2);
}

LONG STDMETHODCALLTYPE EasiDriver::getCapabilities() { return 0; }

EasiBool STDMETHODCALLTYPE EasiDriver::supportsInputMonitoring(LONG) { return false; }

EasiBool STDMETHODCALLTYPE EasiDriver::getExtraLatency(LONG, LONG* before, LONG* after) {
  if (before) *before = 0;
  if (after) *after = 0;
  return false;
}

LONG STDMETHODCALLTYPE EasiDriver::getClockSourceCount(LONG) { return 1; }

FLOAT STDMETHODCALLTYPE EasiDriver::getChannelGain(LONG, LONG) { return -1.0f; }

LONG STDMETHODCALLTYPE EasiDriver::connectMonitor(LONG, LONG, LONG, LONG) { return 1; }

LONG STDMETHODCALLTYPE EasiDriver::disconnectMonitor(LONG, LONG, LONG, LONG) { return 1; }
