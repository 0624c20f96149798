#include "stream_thread.h"

#include <objbase.h>
#include <string.h>

namespace {

constexpr DWORD kShutdownWaitMs = 500;

class StreamLock {
public:
  explicit StreamLock(CRITICAL_SECTION& section) : section_(section) {
    EnterCriticalSection(&section_);
  }
  ~StreamLock() { LeaveCriticalSection(&section_); }
  StreamLock(const StreamLock&) = delete;
  StreamLock& operator=(const StreamLock&) = delete;

private:
  CRITICAL_SECTION& section_;
};

}  // namespace

StreamThread::StreamThread(DeviceLink* link)
    : device(link),
      thread(nullptr),
      callbacks{},
      state(Created),
      timeInfoMode(0),
      lastDriverCount(0),
      handedOn(0),
      deviceHandle_(link->handle),
      statusAddress_(link->config.status) {
  InitializeCriticalSection(&lock);
  memset(&timeInfo, 0, sizeof timeInfo);
  timeInfo.timeInfo.flags = kSystemTimeValid | kSamplePositionValid;
  state = Idle;
  thread = CreateThread(nullptr, 0, &StreamThread::worker, this, 0, nullptr);
}

StreamThread::~StreamThread() {
  if (thread) {
    {
      StreamLock hold(lock);
      state = Exiting;
    }
    if (WaitForSingleObject(thread, kShutdownWaitMs) != WAIT_OBJECT_0) TerminateThread(thread, 1);
    CloseHandle(thread);
    thread = nullptr;
  }
  DeleteCriticalSection(&lock);
}

ASIOError StreamThread::start() {
  StreamLock hold(lock);
  if (state == Failed) return ASE_HWMalfunction;
  if (state == Created) return ASE_InvalidMode;
  if (!thread) {
    state = Failed;
    return ASE_HWMalfunction;
  }
  state = Starting;
  handedOn = 0;
  timeInfo.timeInfo.samplePosition.hi = 0;
  timeInfo.timeInfo.samplePosition.lo = 0;
  return ASE_OK;
}

ASIOError StreamThread::stop() {
  StreamLock hold(lock);
  if (state != Running) return ASE_InvalidMode;
  state = Idle;
  return ASE_OK;
}

bool StreamThread::isRunning() {
  StreamLock hold(lock);
  return state == Running;
}

ASIOError StreamThread::readPosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
  StreamLock hold(lock);
  if (state == Created) return ASE_InvalidMode;
  if (state == Failed) return ASE_HWMalfunction;
  *sPos = timeInfo.timeInfo.samplePosition;
  *tStamp = timeInfo.timeInfo.systemTime;
  return ASE_OK;
}

void StreamThread::setCallbacks(const ASIOCallbacks& hostCallbacks) {
  StreamLock hold(lock);
  callbacks = hostCallbacks;
  statusAddress_ = device->config.status;
}

void StreamThread::enableTimeInfo() {
  StreamLock hold(lock);
  timeInfoMode = 1;
}

DWORD WINAPI StreamThread::worker(LPVOID argument) {
  if (!argument) return 1;
  auto* stream = static_cast<StreamThread*>(argument);
  if (CoInitialize(nullptr) != S_OK) {
    StreamLock hold(stream->lock);
    stream->state = Failed;
    return 1;
  }
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  stream->run();
  CoUninitialize();
  return 0;
}

void StreamThread::run() {
  bool exiting;
  {
    StreamLock hold(lock);
    exiting = state == Exiting;
  }
  // One lock hold per half: the state is looked at again where the half is handed on.
  while (!exiting) {
    DWORD reply[2] = {0, 0};
    if (!deviceRequest(deviceHandle_, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, reply, sizeof reply))
      return;

    void (*rateChanged)(ASIOSampleRate) = nullptr;
    {
      StreamLock hold(lock);
      const StreamStatus* status = addressOf<const StreamStatus>(statusAddress_);
      // Only a wake that brings a half not seen before is handed on: a wait completed for a
      // rate change alone would otherwise hand the host the same half twice. Compared for
      // inequality so that the count's wrap does not stop the stream.
      if (status && status->completedHalves != handedOn) {
        handedOn = status->completedHalves;
        DWORD half = (status->currentHalf ^ 1) & 1;
        handOn(half, status->halves[half].sampleCount, status->halves[half].time);
      }
      rateChanged = callbacks.sampleRateDidChange;
      exiting = state == Exiting;
    }
    if (reply[1] != 0 && rateChanged) rateChanged(static_cast<ASIOSampleRate>(reply[0]));
  }
}

void StreamThread::stampTime(DWORD milliseconds) {
  unsigned long long nanoseconds = static_cast<unsigned long long>(milliseconds) * 1000000ULL;
  timeInfo.timeInfo.systemTime.hi = static_cast<unsigned long>(nanoseconds >> 32);
  timeInfo.timeInfo.systemTime.lo = static_cast<unsigned long>(nanoseconds & 0xFFFFFFFFULL);
}

void StreamThread::handOn(DWORD half, DWORD driverCount, DWORD milliseconds) {
  ASIOSamples& position = timeInfo.timeInfo.samplePosition;
  switch (state) {
    case Starting:
      if (half != 0) return;
      if (!callbacks.bufferSwitch) {
        state = Failed;
        return;
      }
      lastDriverCount = driverCount;
      position.hi = 0;
      position.lo = 0;
      stampTime(milliseconds);
      // Running before the call, so that a host stopping from inside its first switch is heard.
      state = Running;
      // The first switch after a start goes through bufferSwitch even in time-info mode.
      callbacks.bufferSwitch(0, ASIOFalse);
      return;
    case Running: {
      if (!callbacks.bufferSwitch) {
        state = Failed;
        return;
      }
      stampTime(milliseconds);
      unsigned long low = position.lo + (driverCount - lastDriverCount);
      if (low < position.lo) position.hi++;
      position.lo = low;
      lastDriverCount = driverCount;
      if (timeInfoMode && callbacks.bufferSwitchTimeInfo)
        callbacks.bufferSwitchTimeInfo(&timeInfo, static_cast<long>(half), ASIOFalse);
      else
        callbacks.bufferSwitch(static_cast<long>(half), ASIOFalse);
      return;
    }
    default:
      return;
  }
}
