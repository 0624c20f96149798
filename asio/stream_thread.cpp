#include "stream_thread.h"

#include <objbase.h>
#include <string.h>

#include "thread_hints.h"

namespace {

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

// The lock as a host call takes it: counted while it waits, so that the worker lets it in.
class HostHold {
public:
  explicit HostHold(StreamThread& stream) : stream_(stream) {
    stream_.hostCallsWaiting_.fetch_add(1);
    EnterCriticalSection(&stream_.lock);
    stream_.hostCallsWaiting_.fetch_sub(1);
  }
  ~HostHold() { LeaveCriticalSection(&stream_.lock); }
  HostHold(const HostHold&) = delete;
  HostHold& operator=(const HostHold&) = delete;

private:
  StreamThread& stream_;
};

StreamThread::StreamThread(DeviceLink* link)
    : device(link),
      thread(nullptr),
      callbacks{},
      state(Created),
      timeInfoMode(0),
      lastDriverCount(0),
      handedOn(0),
      deviceHandle_(link->handle),
      statusAddress_(link->config.status),
      hostCallsWaiting_(0),
      shutdownStart_(0) {
  VEXA_SHARED_FLAG(&hostCallsWaiting_);
  InitializeCriticalSection(&lock);
  memset(&timeInfo, 0, sizeof timeInfo);
  timeInfo.timeInfo.flags = kSystemTimeValid | kSamplePositionValid;
  state = Idle;
  if (startThread()) thread = threadHandle();
}

// Freed by whichever of the owner and the thread lets go last.
StreamThread::~StreamThread() { DeleteCriticalSection(&lock); }

bool StreamThread::lockForShutdown() {
  requestEnd();
  // A worker holding the lock outside a host call lets go within microseconds; one in a host
  // call may never, and then the owner goes on without the lock. Status reads happen only
  // before the call, so a thread found in its call has done them.
  shutdownStart_ = GetTickCount();
  while (!TryEnterCriticalSection(&lock)) {
    if (phase() == InHost && shutdownWaitLeft(shutdownStart_) == 0) return false;
    Sleep(1);
  }
  return true;
}

void StreamThread::exitAndUnlock() {
  state = Exiting;
  LeaveCriticalSection(&lock);
}

void StreamThread::shutdown(HINSTANCE module) {
  thread = nullptr;
  device = nullptr;
  finish(module, shutdownStart_ ? shutdownWaitLeft(shutdownStart_) : kStreamShutdownWaitMs);
}

ASIOError StreamThread::start() {
  HostHold hold(*this);
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
  HostHold hold(*this);
  if (state != Running) return ASE_InvalidMode;
  state = Idle;
  return ASE_OK;
}

bool StreamThread::isRunning() {
  HostHold hold(*this);
  return state == Running;
}

ASIOError StreamThread::readPosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) {
  HostHold hold(*this);
  if (state == Created) return ASE_InvalidMode;
  if (state == Failed) return ASE_HWMalfunction;
  *sPos = timeInfo.timeInfo.samplePosition;
  *tStamp = timeInfo.timeInfo.systemTime;
  return ASE_OK;
}

void StreamThread::setCallbacks(const ASIOCallbacks& hostCallbacks) {
  HostHold hold(*this);
  callbacks = hostCallbacks;
  statusAddress_ = device->config.status;
}

void StreamThread::enableTimeInfo() {
  HostHold hold(*this);
  timeInfoMode = 1;
}

DWORD StreamThread::run() {
  if (CoInitialize(nullptr) != S_OK) {
    StreamLock hold(lock);
    state = Failed;
    return 1;
  }
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  stream();
  CoUninitialize();
  return 0;
}

void StreamThread::giveWayToHost() {
  for (unsigned turns = 0; hostCallsWaiting_.load() > 0 && !endRequested(); ++turns)
    Sleep(turns < 50 ? 0 : 1);
}

void StreamThread::stream() {
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

    giveWayToHost();
    void (*rateChanged)(ASIOSampleRate) = nullptr;
    {
      StreamLock hold(lock);
      // An owner on its way out may close the device under this thread at any moment after
      // asking it to end: the status memory is not read again then.
      exiting = state == Exiting || endRequested();
      const StreamStatus* status = exiting ? nullptr : addressOf<const StreamStatus>(statusAddress_);
      // Only a wake that brings a half not seen before is handed on: a wait completed for a
      // rate change alone would otherwise hand the host the same half twice. Compared for
      // inequality so that the count's wrap does not stop the stream.
      if (status && status->completedHalves != handedOn) {
        handedOn = status->completedHalves;
        DWORD half = (status->currentHalf ^ 1) & 1;
        handOn(half, status->halves[half].sampleCount, status->halves[half].time);
      }
      rateChanged = callbacks.sampleRateDidChange;
      exiting = exiting || state == Exiting || endRequested();
    }
    if (reply[1] != 0 && rateChanged && !exiting) {
      Activity inHost(*this, InHost);
      rateChanged(static_cast<ASIOSampleRate>(reply[0]));
    }
    exiting = exiting || endRequested();
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
      {
        Activity inHost(*this, InHost);
        callbacks.bufferSwitch(0, ASIOFalse);
      }
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
      Activity inHost(*this, InHost);
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
