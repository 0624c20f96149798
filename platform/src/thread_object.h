// The kernel object behind a thread handle from CreateThread.
#pragma once

#include "handle_table.h"
#include "thread_state.h"

#include <pthread.h>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace vexa::platform {

class ThreadObject : public KernelObject {
public:
  static constexpr Kind kKind = Kind::Thread;

  ThreadObject(std::shared_ptr<ThreadState> state, LPTHREAD_START_ROUTINE start, LPVOID parameter)
      : KernelObject(kKind), state(std::move(state)), start(start), parameter(parameter) {}

  DWORD wait(DWORD milliseconds) override;

  // Called once on the thread itself as it ends, however it ends.
  void finish(DWORD returnedCode);

  const std::shared_ptr<ThreadState> state;
  const LPTHREAD_START_ROUTINE start;
  const LPVOID parameter;

  std::mutex lock;
  std::condition_variable ended;
  pthread_t native{};             // valid while !finished
  bool finished = false;          // guarded by lock
  bool terminating = false;       // guarded by lock: TerminateThread has asked it to end
  DWORD terminateCode = 0;        // guarded by lock
  DWORD exitCode = STILL_ACTIVE;  // guarded by lock
};

// The calling thread's object when it was made by CreateThread, else null. Valid while the
// thread runs (its start frame holds a reference).
ThreadObject* currentThreadObject();

// GetCurrentThread's pseudo handle.
inline bool isCurrentThreadPseudoHandle(HANDLE handle) {
  return handle == reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

}  // namespace vexa::platform
