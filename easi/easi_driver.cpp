// Opening, closing and the stream operations of the EASI driver object.
#include "easi_driver.h"

#include "module_state.h"
#include "settings_key.h"

#include <new>
#include <string.h>

EasiDriver::EasiDriver(IUnknown* outer)
    : EasiDriverDefaults(outer),
      state(static_cast<LONG>(EasiState::Closed)),
      // Whatever the host is built with, its outer unknown has IEasiHost's table.
      host(reinterpret_cast<IEasiHost*>(outer)),
      lastError(EASI_OK),
      device(new (std::nothrow) DeviceLink),
      outputBuffers{nullptr, nullptr},
      inputBuffers{nullptr, nullptr},
      outputHalfPosition{0, 0},
      inputHalfPosition{0, 0},
      startPosition(0),
      stream(nullptr),
      closeStart_(0),
      closing_(false) {}

EasiDriver::~EasiDriver() {
  closeDriver();
  delete device;
  releaseDescriptors();
}

LONG EasiDriver::record(LONG code) {
  lastError = code;
  return code;
}

LONG EasiDriver::refuse() { return record(EASI_WRONG_STATE); }

bool EasiDriver::deviceOpen() const { return device && device->handle != INVALID_HANDLE_VALUE; }

BOOL EasiDriver::request(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize) {
  if (!deviceOpen()) return FALSE;
  return deviceRequest(device->handle, code, in, inSize, out, outSize);
}

DWORD EasiDriver::readPosition() {
  DWORD words[2] = {0, 0};
  if (!request(IOCTL_VV_GET_POSITION, nullptr, 0, words, sizeof words)) return 0;
  return words[0] + words[1];
}

const volatile StreamStatus& EasiDriver::streamStatus() const {
  static const StreamStatus noStatus = {};
  const StreamStatus* status = device ? device->status() : nullptr;
  return status ? *status : noStatus;
}

bool EasiDriver::hostLagging() const {
  return streamStatus().completedHalves > issuedCallbacks();
}

void EasiDriver::enter(EasiState s) {
  state.store(static_cast<LONG>(s));
  if (!stream) return;
  stream->running.store(s == EasiState::Running);
  if (s == EasiState::Closing || s == EasiState::Closed) stream->requestEnd();
}

void EasiDriver::waitForCallbackInProgress() {
  if (stream)
    stream->waitUntilOutOfHost(closing_ ? shutdownWaitLeft(closeStart_) : kStreamShutdownWaitMs);
}

void EasiDriver::resetCallbackCount() {
  if (stream) stream->callbacksIssued.store(0);
}

void EasiDriver::callHost(LONG half) {
  if (host) host->halfBufferDone(half);
}

// A failed open leaves nothing claimed: the handle goes at once and the record reads as never
// opened, so sizes and the panel's base answer 0 as before the first open.
void EasiDriver::forgetDevice() {
  if (!device) return;
  device->close();
  memset(&device->config, 0, sizeof device->config);
}

LONG STDMETHODCALLTYPE EasiDriver::openDriver() {
  // Opening twice would leak the first handle and start a second streaming thread.
  if (!is(EasiState::Closed)) return refuse();

  if (!device) device = new (std::nothrow) DeviceLink;
  if (!device) return record(EASI_NOT_AVAILABLE);

  DWORD frames = SettingsKey(EASI_SETTINGS_KEY).readBufferSize();
  switch (device->open(frames)) {
    case Ok:
      break;
    case InUse:
      forgetDevice();
      return record(EASI_IN_USE);
    case NotAvailable:
    case VersionMismatch:
    default:
      // A card driver of a foreign version is no more usable than a missing one.
      forgetDevice();
      return record(EASI_NOT_AVAILABLE);
  }

  device->selectInternalClock();
  if (!makeDescriptors()) {
    releaseDescriptors();
    forgetDevice();
    return record(EASI_NOT_AVAILABLE);
  }

  stream = new (std::nothrow) EasiStream(host, device->handle, device->config.status);
  enter(EasiState::Open);
  if (!stream || !stream->startThread()) return record(EASI_NO_THREAD);
  return record(EASI_OK);
}

LONG STDMETHODCALLTYPE EasiDriver::closeDriver() {
  if (is(EasiState::Closed)) return EASI_OK;

  closing_ = true;
  closeStart_ = GetTickCount();
  if (is(EasiState::Running)) {
    IEasiDriver* self = this;
    self->stopStream();
    self->stopAndPrime();
  }

  enter(EasiState::Closing);
  if (stream) {
    // A silent card never wakes the thread to see Closing; one in the host's callback is left
    // to come back by itself, with what it uses kept alive.
    stream->finish(moduleInstance(), shutdownWaitLeft(closeStart_));
    stream = nullptr;
  }
  enter(EasiState::Closed);
  closing_ = false;

  if (device) {
    device->close();
    delete device;
    device = nullptr;
  }
  releaseDescriptors();
  return record(EASI_OK);
}

LONG STDMETHODCALLTYPE EasiDriver::setStartPosition(DWORD position) {
  if (is(EasiState::Closed)) return refuse();
  lastError = EASI_OK;
  if (!request(IOCTL_VV_SET_START_POSITION, &position, sizeof position, nullptr, 0))
    record(EASI_REQUEST_FAILED);
  return lastError;
}

LONG STDMETHODCALLTYPE EasiDriver::prepare(LONG, LONG) {
  lastError = EASI_OK;
  if (!is(EasiState::Open) && !is(EasiState::Stopped)) return refuse();

  if (!request(IOCTL_VV_STOP, nullptr, 0, nullptr, 0)) record(EASI_REQUEST_FAILED);
  enter(EasiState::Stopped);
  waitForCallbackInProgress();
  resetCallbackCount();

  IEasiDriver* self = this;
  DWORD position = readPosition();
  DWORD frames = static_cast<DWORD>(self->getBufferFrames(0));
  DWORD minimum = device->config.minBufferSize;

  // Outputs play two minimum blocks after now; inputs began recording one and two halves ago.
  startPosition = position;
  outputHalfPosition[0] = position + 2 * minimum;
  outputHalfPosition[1] = position + 2 * minimum + frames;
  inputHalfPosition[0] = position - 2 * frames;
  inputHalfPosition[1] = position - frames;

  callHost(0);
  callHost(1);
  return lastError;
}

LONG STDMETHODCALLTYPE EasiDriver::prepareWithoutPriming() {
  if (!is(EasiState::Open) && !is(EasiState::Stopped)) return refuse();
  enter(EasiState::Stopped);
  return record(EASI_OK);
}

LONG STDMETHODCALLTYPE EasiDriver::startStream() {
  lastError = EASI_OK;
  if (!is(EasiState::Open) && !is(EasiState::Stopped)) return refuse();

  if (!request(IOCTL_VV_SET_START_POSITION, &startPosition, sizeof startPosition, nullptr, 0))
    record(EASI_REQUEST_FAILED);
  resetCallbackCount();
  enter(EasiState::Running);
  if (!request(IOCTL_VV_START, nullptr, 0, nullptr, 0)) record(EASI_REQUEST_FAILED);
  return lastError;
}

LONG STDMETHODCALLTYPE EasiDriver::stopStream() {
  lastError = EASI_OK;
  if (!is(EasiState::Running) && !is(EasiState::Stopped)) return refuse();
  enter(EasiState::Stopped);
  waitForCallbackInProgress();
  if (!request(IOCTL_VV_STOP, nullptr, 0, nullptr, 0)) record(EASI_REQUEST_FAILED);
  return lastError;
}

LONG STDMETHODCALLTYPE EasiDriver::stopAndPrime() {
  lastError = EASI_OK;
  if (!is(EasiState::Open) && !is(EasiState::Running) && !is(EasiState::Stopped))
    return refuse();
  enter(EasiState::Stopped);
  waitForCallbackInProgress();
  if (!request(IOCTL_VV_STOP, nullptr, 0, nullptr, 0)) record(EASI_REQUEST_FAILED);

  LONG current = static_cast<LONG>(streamStatus().currentHalf & 1);
  callHost(current);
  callHost(current ^ 1);
  return lastError;
}

DWORD STDMETHODCALLTYPE EasiDriver::getHalfPosition(LONG half, LONG direction) {
  if (is(EasiState::Closed)) return static_cast<DWORD>(refuse());
  if (half != 0 && half != 1) return 0;
  if (direction == EASI_OUTPUT) return outputHalfPosition[half];
  if (direction == EASI_INPUT) return inputHalfPosition[half];
  return 0;
}

DWORD STDMETHODCALLTYPE EasiDriver::getCurrentPosition() {
  if (is(EasiState::Closed)) return static_cast<DWORD>(refuse());
  return readPosition();
}

void STDMETHODCALLTYPE EasiDriver::advanceHalfPosition(LONG half, LONG direction) {
  if (is(EasiState::Closed)) return;
  if (is(EasiState::Running) && hostLagging()) {
    record(EASI_HOST_LAGGING);
    return;
  }
  if (half != 0 && half != 1) return;

  IEasiDriver* self = this;
  DWORD cycle = 2 * static_cast<DWORD>(self->getBufferFrames(0));
  if (direction == EASI_OUTPUT)
    outputHalfPosition[half] += cycle;
  else if (direction == EASI_INPUT)
    inputHalfPosition[half] += cycle;
}

LONG STDMETHODCALLTYPE EasiDriver::getLastError() {
  LONG error = lastError;
  lastError = EASI_OK;
  return error;
}

LONG STDMETHODCALLTYPE EasiDriver::setSampleRateByIndex(LONG index) {
  IEasiDriver* self = this;
  DWORD rate = static_cast<DWORD>(self->getSampleRateByIndex(index));
  if (!request(IOCTL_VV_SET_SAMPLE_RATE, &rate, sizeof rate, nullptr, 0))
    return record(EASI_REQUEST_FAILED);
  return EASI_OK;
}
