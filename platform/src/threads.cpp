#include "thread_object.h"

#include <vexa/cancellable_wait.h>

#include <sched.h>
#include <unistd.h>

#include <chrono>

namespace vexa::platform {
namespace {

thread_local ThreadObject* runningObject = nullptr;
thread_local bool exitRequested = false;
thread_local DWORD exitRequestedCode = 0;
// FreeLibraryAndExitThread's module: freed only once the thread has unwound out of its code.
thread_local HMODULE moduleToFree = nullptr;

// Windows threads get a 1 MiB stack by default; a requested size is only ever made larger.
constexpr size_t kMinimumStack = 256 * 1024;
// How long TerminateThread waits for the thread to unwind before it returns anyway. A thread at a
// wait ends within this; one spinning without ever reaching a wait ends at its next wait.
constexpr auto kTerminateGrace = std::chrono::seconds(5);

// Runs on the thread as it ends, whether it returned, called ExitThread or was terminated.
class EndOfThread {
public:
  explicit EndOfThread(ThreadObject& object) : object_(object) {}
  EndOfThread(const EndOfThread&) = delete;
  EndOfThread& operator=(const EndOfThread&) = delete;
  ~EndOfThread() {
    // A pending cancellation must not strike again while the thread is being wound up.
    int previous;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &previous);
    object_.finish(returned_ ? code_ : exitRequested ? exitRequestedCode : 1);
    runningObject = nullptr;
    if (HMODULE module = moduleToFree) {
      moduleToFree = nullptr;
      FreeLibrary(module);
    }
  }
  void returned(DWORD code) {
    returned_ = true;
    code_ = code;
  }

private:
  ThreadObject& object_;
  bool returned_ = false;
  DWORD code_ = 0;
};

void* threadMain(void* packet) {
  auto held = static_cast<std::shared_ptr<ThreadObject>*>(packet);
  std::shared_ptr<ThreadObject> self = std::move(*held);
  delete held;
  adoptThreadState(self->state);
  runningObject = self.get();
  EndOfThread end(*self);
  end.returned(self->start(self->parameter));
  return nullptr;
}

bool isValidPriority(int priority) {
  switch (priority) {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
      return true;
    default:
      return false;
  }
}

// Time-critical asks for real-time scheduling; without the privilege for it the thread keeps
// normal scheduling, which is all an unprivileged process can have.
void applyPriority(pthread_t thread, int priority) {
  if (priority == THREAD_PRIORITY_TIME_CRITICAL) {
    for (int policy : {SCHED_FIFO, SCHED_RR}) {
      sched_param param{};
      param.sched_priority = (sched_get_priority_min(policy) + sched_get_priority_max(policy)) / 2;
      if (pthread_setschedparam(thread, policy, &param) == 0) return;
    }
    return;
  }
  int policy = SCHED_OTHER;
  sched_param param{};
  if (pthread_getschedparam(thread, &policy, &param) == 0 && policy != SCHED_OTHER) {
    param.sched_priority = 0;
    pthread_setschedparam(thread, SCHED_OTHER, &param);
  }
}

[[noreturn]] void endCurrentThread(DWORD code, bool terminated) {
  if (ThreadObject* self = runningObject) {
    if (terminated) {
      std::lock_guard<std::mutex> guard(self->lock);
      if (!self->terminating) {
        self->terminating = true;
        self->terminateCode = code;
      }
    }
    exitRequested = true;
    exitRequestedCode = code;
  }
  pthread_exit(nullptr);
}

}  // namespace

ThreadObject* currentThreadObject() { return runningObject; }

DWORD ThreadObject::wait(DWORD milliseconds) {
  if (this == runningObject && milliseconds == INFINITE) {
    // A thread waiting for its own end would never return.
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  std::unique_lock<std::mutex> guard(lock);
  auto hasEnded = [this] { return finished; };
  if (milliseconds == INFINITE)
    waitFor(ended, guard, hasEnded);
  else
    waitFor(ended, guard, milliseconds, hasEnded);
  return finished ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void ThreadObject::finish(DWORD returnedCode) {
  // The queue goes first, so that once a waiter sees the end no APC is accepted any more.
  endThreadState(*state);
  std::lock_guard<std::mutex> guard(lock);
  exitCode = terminating ? terminateCode : returnedCode;
  finished = true;
  ended.notify_all();
}

}  // namespace vexa::platform

using vexa::platform::ThreadObject;

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize,
                                      LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                      DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (!lpStartAddress) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // There is no ResumeThread here, so a suspended thread could never run.
  if (dwCreationFlags & CREATE_SUSPENDED) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return nullptr;
  }
  auto state = vexa::platform::createThreadState();
  auto object = std::make_shared<ThreadObject>(state, lpStartAddress, lpParameter);
  // The handle first: a full table must fail the call before a thread runs.
  HANDLE handle = vexa::platform::insertHandle(object);
  if (!handle) {
    vexa::platform::endThreadState(*state);
    return nullptr;
  }

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  if (dwStackSize != 0) {
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t size =
        dwStackSize < vexa::platform::kMinimumStack ? vexa::platform::kMinimumStack : dwStackSize;
    pthread_attr_setstacksize(&attributes, (size + page - 1) / page * page);
  }

  auto* packet = new std::shared_ptr<ThreadObject>(object);
  pthread_t native;
  int failed;
  {
    // Held until `native` is stored, so TerminateThread never sees a thread without it.
    std::lock_guard<std::mutex> guard(object->lock);
    failed = pthread_create(&native, &attributes, vexa::platform::threadMain, packet);
    if (!failed) object->native = native;
  }
  pthread_attr_destroy(&attributes);
  if (failed) {
    delete packet;
    vexa::platform::removeHandle(handle);
    vexa::platform::endThreadState(*state);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (lpThreadId) *lpThreadId = state->id;
  return handle;
}

extern "C" HANDLE WINAPI GetCurrentThread(void) {
  return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

extern "C" DWORD WINAPI GetCurrentThreadId(void) { return vexa::platform::currentThreadId(); }

extern "C" DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

extern "C" BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
  if (!vexa::platform::isValidPriority(nPriority)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (vexa::platform::isCurrentThreadPseudoHandle(hThread)) {
    vexa::platform::applyPriority(pthread_self(), nPriority);
    auto state = vexa::platform::currentThreadState();
    std::lock_guard<std::mutex> guard(state->lock);
    state->priority = nPriority;
    return TRUE;
  }
  auto object = vexa::platform::lookupHandleAs<ThreadObject>(hThread);
  if (!object) return FALSE;
  {
    std::lock_guard<std::mutex> guard(object->lock);
    if (!object->finished) vexa::platform::applyPriority(object->native, nPriority);
  }
  std::lock_guard<std::mutex> guard(object->state->lock);
  object->state->priority = nPriority;
  return TRUE;
}

extern "C" int WINAPI GetThreadPriority(HANDLE hThread) {
  std::shared_ptr<vexa::platform::ThreadState> state;
  if (vexa::platform::isCurrentThreadPseudoHandle(hThread)) {
    state = vexa::platform::currentThreadState();
  } else {
    auto object = vexa::platform::lookupHandleAs<ThreadObject>(hThread);
    if (!object) return THREAD_PRIORITY_ERROR_RETURN;
    state = object->state;
  }
  std::lock_guard<std::mutex> guard(state->lock);
  return state->priority;
}

extern "C" BOOL WINAPI TerminateThread(HANDLE hThread, DWORD dwExitCode) {
  if (vexa::platform::isCurrentThreadPseudoHandle(hThread))
    vexa::platform::endCurrentThread(dwExitCode, true);
  auto object = vexa::platform::lookupHandleAs<ThreadObject>(hThread);
  if (!object) return FALSE;
  if (object.get() == vexa::platform::runningObject)
    vexa::platform::endCurrentThread(dwExitCode, true);

  std::unique_lock<std::mutex> guard(object->lock);
  if (object->finished || object->terminating) return TRUE;
  object->terminating = true;
  object->terminateCode = dwExitCode;
  // Deferred cancellation: the thread unwinds (running its destructors) at its next wait, which
  // for a thread blocked in a card-driver request, a wait or a sleep is at once.
  pthread_cancel(object->native);
  object->ended.wait_for(guard, vexa::platform::kTerminateGrace,
                         [&object] { return object->finished; });
  return TRUE;
}

extern "C" BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  if (!lpExitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (vexa::platform::isCurrentThreadPseudoHandle(hThread)) {
    *lpExitCode = STILL_ACTIVE;
    return TRUE;
  }
  auto object = vexa::platform::lookupHandleAs<ThreadObject>(hThread);
  if (!object) return FALSE;
  std::lock_guard<std::mutex> guard(object->lock);
  *lpExitCode = object->exitCode;
  return TRUE;
}

extern "C" void WINAPI ExitThread(DWORD dwExitCode) {
  vexa::platform::endCurrentThread(dwExitCode, false);
}

extern "C" void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode) {
  // A thread the platform did not create has no end of its own to free the module at.
  if (!vexa::platform::currentThreadObject()) {
    FreeLibrary(hLibModule);
    vexa::platform::endCurrentThread(dwExitCode, false);
  }
  vexa::platform::moduleToFree = hLibModule;
  vexa::platform::endCurrentThread(dwExitCode, false);
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) { SleepEx(dwMilliseconds, FALSE); }
