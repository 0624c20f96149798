#include "asio_driver.h"

#include <math.h>
#include <new>
#include <stdio.h>
#include <string.h>

#include "buffer_size_panel.h"
#include "driver_identity.h"
#include "server_state.h"
#include "settings_key.h"

AsioDriver* activeAsioDriver = nullptr;

namespace {

const char kTextInitFailure[] = "TX Vexa: initialization failure";
const char kTextInUse[] = "TX Vexa: in use";
const char kTextNotAvailable[] = "TX Vexa: VxD is not available.";
const char kTextStreamRefused[] = "TX Vexa: ASIO init failed (in use?)";
const char kTextVersionMismatch[] = "TX Vexa: VxD version mismatch";

const double kSupportedRates[] = {48000, 24000, 12000, 9600,  32000, 16000,
                                  96000, 44100, 22050, 11025, 88200};

// The most frames whose byte count fits the request's 32-bit signed size.
constexpr long kMaxBufferFrames = 0x7FFFFFFF / 4;

void copyText(char* to, size_t size, const char* text) {
  strncpy(to, text, size - 1);
  to[size - 1] = '\0';
}

}  // namespace

AsioDriver::AsioDriver(IUnknown* outer)
    : DriverUnknown(outer),
      initialized(0),
      buffersCreated(0),
      device(new (std::nothrow) DeviceLink),
      sysHandle(nullptr),
      callbacks{},
      stream(nullptr) {
  setErrorMessage(kTextInitFailure);
  if (activeAsioDriver) {
    setErrorMessage(kTextInUse);
    return;
  }
  activeAsioDriver = this;
  if (!device) return;

  DWORD bufferSize = SettingsKey(ASIO_SETTINGS_KEY).readBufferSize();
  switch (device->open(bufferSize)) {
    case NotAvailable:
      setErrorMessage(kTextNotAvailable);
      return;
    case InUse:
      setErrorMessage(kTextStreamRefused);
      return;
    case VersionMismatch:
      setErrorMessage(kTextVersionMismatch);
      return;
    case Ok:
      break;
  }
  stream = new (std::nothrow) StreamThread(device);
  if (stream) initialized = 1;
}

AsioDriver::~AsioDriver() {
  // The thread is asked to end before anything else, so that it calls the host no more. A
  // callback that does not return (it may wait for the thread releasing us) does not hold up
  // the release: stop is skipped then, and closing the handle below ends the claim all the same.
  if (!stream || stream->lockForShutdown()) {
    stop();
    if (stream) stream->exitAndUnlock();
  }
  initialized = 0;
  buffersCreated = 0;
  if (device) device->close();
  if (stream) stream->shutdown(serverState.instance);
  stream = nullptr;
  delete device;
  device = nullptr;
  if (activeAsioDriver == this) activeAsioDriver = nullptr;
}

HRESULT AsioDriver::nonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (IsEqualGUID(riid, CLSID_TxAsioDriver)) {
    if (!ppv) return E_POINTER;
    IASIO* asio = this;
    *ppv = asio;
    asio->AddRef();
    return S_OK;
  }
  return DriverUnknown::nonDelegatingQueryInterface(riid, ppv);
}

void AsioDriver::setErrorMessage(const char* text) {
  copyText(errorMessage, sizeof errorMessage, text);
}

ASIOBool AsioDriver::init(void* handle) {
  sysHandle = static_cast<HWND>(handle);
  return initialized ? ASIOTrue : ASIOFalse;
}

void AsioDriver::getDriverName(char* name) {
  if (name) memcpy(name, kDriverName, sizeof kDriverName);
}

long AsioDriver::getDriverVersion() { return kDriverVersion; }

void AsioDriver::getErrorMessage(char* string) {
  if (string) memcpy(string, errorMessage, strlen(errorMessage) + 1);
}

ASIOError AsioDriver::start() {
  if (!initialized) return ASE_NotPresent;
  if (!buffersCreated) return ASE_InvalidMode;
  if (stream->isRunning()) return ASE_InvalidMode;
  if (!deviceRequest(device->handle, IOCTL_VV_START, nullptr, 0, nullptr, 0))
    return ASE_HWMalfunction;
  return stream->start();
}

ASIOError AsioDriver::stop() {
  if (!initialized) return ASE_NotPresent;
  if (!buffersCreated) return ASE_InvalidMode;
  if (stream->stop() != ASE_OK) return ASE_InvalidMode;
  if (!deviceRequest(device->handle, IOCTL_VV_STOP, nullptr, 0, nullptr, 0))
    return ASE_HWMalfunction;
  return ASE_OK;
}

ASIOError AsioDriver::getChannels(long* numInputChannels, long* numOutputChannels) {
  if (!initialized) return ASE_NotPresent;
  if (!numInputChannels || !numOutputChannels) return ASE_InvalidParameter;
  *numInputChannels = static_cast<long>(device->config.numInputs);
  *numOutputChannels = static_cast<long>(device->config.numOutputs);
  return ASE_OK;
}

ASIOError AsioDriver::getLatencies(long* inputLatency, long* outputLatency) {
  if (!initialized) return ASE_NotPresent;
  if (!inputLatency || !outputLatency) return ASE_InvalidParameter;
  DWORD frames = device->config.bufferBytes / 4;
  *inputLatency = static_cast<long>(frames + 30);
  *outputLatency = static_cast<long>(frames + 2 * device->config.minBufferSize + 10);
  return ASE_OK;
}

ASIOError AsioDriver::getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                    long* granularity) {
  if (!initialized) return ASE_NotPresent;
  if (!minSize || !maxSize || !preferredSize || !granularity) return ASE_InvalidParameter;
  long smallest = static_cast<long>(device->config.minBufferSize);
  long preferred = static_cast<long>(SettingsKey(ASIO_SETTINGS_KEY).readBufferSize());
  if (preferred < smallest) preferred = smallest;
  // Hosts rely on min <= preferred <= max; a stored size above the maximum must not break it.
  if (preferred > kAsioMaxBufferSize) preferred = kAsioMaxBufferSize;
  *minSize = smallest;
  *maxSize = kAsioMaxBufferSize;
  *preferredSize = preferred;
  *granularity = 4 * smallest;
  return ASE_OK;
}

ASIOError AsioDriver::canSampleRate(ASIOSampleRate sampleRate) {
  if (!initialized) return ASE_NotPresent;
  for (double rate : kSupportedRates)
    if (sampleRate == rate) return ASE_OK;
  return ASE_NoClock;
}

ASIOError AsioDriver::getSampleRate(ASIOSampleRate* sampleRate) {
  if (!initialized) return ASE_NotPresent;
  if (!sampleRate) return ASE_InvalidParameter;
  DWORD rate = 0;
  DWORD bytes = 0;
  if (!deviceRequest(device->handle, IOCTL_VV_GET_SAMPLE_RATE, nullptr, 0, &rate, sizeof rate,
                     &bytes) ||
      bytes != sizeof rate)
    return ASE_HWMalfunction;
  *sampleRate = static_cast<ASIOSampleRate>(rate);
  return rate == 0 ? ASE_NoClock : ASE_OK;
}

ASIOError AsioDriver::setSampleRate(ASIOSampleRate sampleRate) {
  if (!initialized) return ASE_NotPresent;
  if (device->isSpdifSlaved() && sampleRate != 0.0) return ASE_InvalidMode;
  // Truncation of a rate that no 32-bit integer holds is undefined; such a rate is refused.
  if (!(sampleRate > -2147483649.0 && sampleRate < 2147483648.0)) return ASE_InvalidParameter;
  LONG rate = static_cast<LONG>(trunc(sampleRate));
  if (!deviceRequest(device->handle, IOCTL_VV_SET_SAMPLE_RATE, &rate, sizeof rate, nullptr, 0))
    return ASE_NoClock;
  return ASE_OK;
}

ASIOError AsioDriver::getClockSources(ASIOClockSource* clocks, long* numSources) {
  if (!numSources) return ASE_InvalidParameter;
  if (*numSources < 1) return ASE_OK;
  if (!clocks) return ASE_InvalidParameter;
  clocks[0].index = 0;
  clocks[0].associatedChannel = 0;
  clocks[0].associatedGroup = 0;
  clocks[0].isCurrentSource = ASIOFalse;
  copyText(clocks[0].name, sizeof clocks[0].name, "Internal");
  if (*numSources == 1) return ASE_OK;

  long inputs = device ? static_cast<long>(device->config.numInputs) : 0;
  clocks[1].index = 1;
  clocks[1].associatedChannel = inputs - 2;
  clocks[1].associatedGroup = 1;
  clocks[1].isCurrentSource = ASIOFalse;
  copyText(clocks[1].name, sizeof clocks[1].name, "S/PDIF");
  *numSources = 2;
  if (device && device->isSpdifSlaved())
    clocks[1].isCurrentSource = ASIOTrue;
  else
    clocks[0].isCurrentSource = ASIOTrue;
  return ASE_OK;
}

ASIOError AsioDriver::setClockSource(long reference) {
  if (!device) return reference == 0 || reference == 1 ? ASE_OK : ASE_InvalidParameter;
  if (reference == 0) {
    device->selectInternalClock();
    return ASE_OK;
  }
  if (reference == 1) {
    device->selectSpdifClock();
    return ASE_OK;
  }
  return ASE_InvalidParameter;
}

ASIOError AsioDriver::getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
  if (!initialized) return ASE_NotPresent;
  if (!sPos || !tStamp) return ASE_InvalidParameter;
  return stream->readPosition(sPos, tStamp);
}

ASIOError AsioDriver::getChannelInfo(ASIOChannelInfo* info) {
  if (!initialized) return ASE_NotPresent;
  if (!info) return ASE_InvalidParameter;
  if (info->channel < 0) return ASE_InvalidParameter;
  long count = static_cast<long>(info->isInput ? device->config.numInputs
                                               : device->config.numOutputs);
  if (info->channel >= count) return ASE_InvalidParameter;
  info->isActive = ASIOTrue;
  info->type = ASIOSTInt32LSB;
  // The last two channels of each direction are the S/PDIF pair.
  if (info->channel >= count - 2) {
    snprintf(info->name, sizeof info->name, "TX%ld-S/PDIF", info->channel + 1);
    info->channelGroup = 1;
  } else {
    snprintf(info->name, sizeof info->name, "TX%ld", info->channel + 1);
    info->channelGroup = 0;
  }
  return ASE_OK;
}

ASIOError AsioDriver::createBuffers(ASIOBufferInfo* bufferInfos, long numChannels,
                                    long bufferSize, ASIOCallbacks* hostCallbacks) {
  if (!initialized) return ASE_NotPresent;
  if (buffersCreated) return ASE_InvalidMode;
  // Refused before anything reaches the card, so a bad call changes nothing.
  if (!hostCallbacks || (numChannels > 0 && !bufferInfos)) return ASE_InvalidParameter;
  // A size whose byte count does not fit the request would wrap into a small one the card
  // accepts, and the host would write past the halves it was given.
  if (bufferSize <= 0 || bufferSize > kMaxBufferFrames) return ASE_InvalidMode;
  DWORD bytes = static_cast<DWORD>(bufferSize) * 4;
  if (device->setBuffers(bytes) != 0) return ASE_InvalidMode;
  // Halves of another size than the host asked for are no success either.
  if (device->config.bufferBytes != bytes) return ASE_InvalidMode;

  const StreamConfig& config = device->config;
  for (long i = 0; i < numChannels; i++) {
    ASIOBufferInfo& info = bufferInfos[i];
    DWORD channel = static_cast<DWORD>(info.channelNum);
    const HalfBufferPair* pair;
    if (info.isInput) {
      if (channel >= config.numInputs) return ASE_InvalidMode;
      pair = &config.inputs[channel];
    } else {
      if (channel >= config.numOutputs) return ASE_InvalidMode;
      pair = &config.outputs[channel];
    }
    info.buffers[0] = addressOf(pair->half[0]);
    info.buffers[1] = addressOf(pair->half[1]);
  }

  callbacks = *hostCallbacks;
  stream->setCallbacks(callbacks);
  if (callbacks.asioMessage &&
      callbacks.asioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr) == 1)
    stream->enableTimeInfo();
  buffersCreated = 1;
  return ASE_OK;
}

ASIOError AsioDriver::disposeBuffers() {
  if (!initialized) return ASE_NotPresent;
  buffersCreated = 0;
  return ASE_OK;
}

ASIOError AsioDriver::controlPanel() {
  BufferSizePanel panel;
  panel.run(serverState.instance, sysHandle, device ? device->config.minBufferSize : 0,
            ASIO_SETTINGS_KEY);
  // The new size takes effect only through a new open: ask the host to reload the driver.
  if (panel.chosenSize != 0 && callbacks.asioMessage)
    callbacks.asioMessage(kAsioResetRequest, 0, nullptr, nullptr);
  return ASE_OK;
}

ASIOError AsioDriver::future(long selector, void*) {
  return selector == kAsioCanTimeInfo ? ASE_SUCCESS : ASE_NotPresent;
}

ASIOError AsioDriver::outputReady() { return ASE_NotPresent; }

DriverUnknown* createAsioDriver(IUnknown* outer, HRESULT*) {
  return new (std::nothrow) AsioDriver(outer);
}
