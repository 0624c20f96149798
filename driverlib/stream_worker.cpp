#include "stream_worker.h"

#include "thread_hints.h"

namespace {

std::atomic<LONG> liveWorkers{0};

enum Parting : LONG { Together = 0, OwnerLeft = 1, ThreadEnded = 2 };

}  // namespace

LONG liveStreamWorkers() { return liveWorkers.load(); }

DWORD shutdownWaitLeft(DWORD startTick) {
  DWORD spent = GetTickCount() - startTick;
  return spent < kStreamShutdownWaitMs ? kStreamShutdownWaitMs - spent : 0;
}

StreamWorker::StreamWorker()
    : references_(1),
      endRequested_(0),
      phase_(InDriver),
      parting_(Together),
      pin_(nullptr),
      thread_(nullptr),
      threadId_(0) {
  VEXA_SHARED_FLAG(&endRequested_);
  VEXA_SHARED_FLAG(&phase_);
  VEXA_SHARED_FLAG(&threadId_);
}

bool StreamWorker::startThread() {
  references_.fetch_add(1);
  liveWorkers.fetch_add(1);
  DWORD id = 0;
  thread_ = CreateThread(nullptr, 0, &StreamWorker::threadMain, this, 0, &id);
  if (!thread_) {
    liveWorkers.fetch_sub(1);
    references_.fetch_sub(1);
    return false;
  }
  threadId_.store(id);
  return true;
}

DWORD WINAPI StreamWorker::threadMain(LPVOID argument) {
  if (!argument) return 1;
  auto* self = static_cast<StreamWorker*>(argument);
  self->threadId_.store(GetCurrentThreadId());
  HMODULE pin = nullptr;
  DWORD code;
  {
    // A terminated thread unwinds through here: its reference still goes, and a pin it was
    // given stays taken (the module then simply stays loaded).
    struct Ending {
      StreamWorker* self;
      HMODULE* pin;
      ~Ending() {
        *pin = self->threadEnded();
        self->release();
        liveWorkers.fetch_sub(1);
      }
    } ending{self, &pin};
    code = self->run();
  }
  // The module may be unloaded as soon as the pin goes: its code is left first.
  if (pin) FreeLibraryAndExitThread(pin, code);
  return code;
}

HMODULE StreamWorker::threadEnded() {
  VEXA_HANDED_OVER(&parting_);
  if (parting_.exchange(ThreadEnded) != OwnerLeft) return nullptr;
  VEXA_TAKEN_OVER(&parting_);
  return pin_;
}

void StreamWorker::release() {
  VEXA_HANDED_OVER(&references_);
  if (references_.fetch_sub(1) != 1) return;
  VEXA_TAKEN_OVER(&references_);
  delete this;
}

bool StreamWorker::waitUntilOutOfHost(DWORD milliseconds) const {
  if (onWorkerThread()) return true;
  DWORD start = GetTickCount();
  while (phase_.load() != InDriver) {
    if (GetTickCount() - start >= milliseconds) return false;
    Sleep(1);
  }
  return true;
}

void StreamWorker::leaveBehind(HINSTANCE module) {
  char path[MAX_PATH];
  DWORD length = module ? GetModuleFileNameA(module, path, sizeof path) : 0;
  if (length > 0 && length < sizeof path) pin_ = LoadLibraryA(path);
  VEXA_HANDED_OVER(&parting_);
  // The thread ended meanwhile and took no pin.
  if (parting_.exchange(OwnerLeft) == ThreadEnded && pin_) FreeLibrary(pin_);
}

void StreamWorker::finish(HINSTANCE module, DWORD waitMs) {
  requestEnd();
  if (thread_) {
    bool ended = false;
    if (!onWorkerThread()) {
      ended = WaitForSingleObject(thread_, waitMs) == WAIT_OBJECT_0;
      // Forcing a thread out of host code could leave the host's own locks held for ever.
      if (!ended && phase() != InHost) {
        TerminateThread(thread_, 1);
        ended = WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
      }
    }
    if (!ended) leaveBehind(module);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  release();
}
