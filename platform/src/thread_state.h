// What the platform knows about each thread of the process: its identifier, its APC queue and
// its priority. Threads made by CreateThread get theirs before they start (so calls can be
// queued to them at once); any other thread gets one the first time it asks for its identifier.
#pragma once

#include <windows.h>

#include <vexa/apc_queue.h>

#include "streaming_path.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace vexa::platform {

struct QueuedApc {
  PAPCFUNC function;
  ULONG_PTR data;
};

struct ThreadState {
  explicit ThreadState(DWORD threadId) : id(threadId) {}
  ~ThreadState();
  ThreadState(const ThreadState&) = delete;
  ThreadState& operator=(const ThreadState&) = delete;

  const DWORD id;
  std::mutex lock;
  std::condition_variable apcArrived;
  std::deque<QueuedApc> apcs;             // guarded by lock
  bool alive = true;                      // guarded by lock; false once the thread has ended
  int priority = THREAD_PRIORITY_NORMAL;  // guarded by lock
  std::vector<std::shared_ptr<ApcSource>> sources;  // guarded by lock
  // An event descriptor, made with the first source: a wait watching sources sleeps in poll,
  // so queuing a call signals this as well as apcArrived.
  int wakeDescriptor = -1;  // guarded by lock
};

// A state with a fresh identifier, registered for queueApcToThread, for a thread about to start.
std::shared_ptr<ThreadState> createThreadState();
// Makes `state` the calling thread's own (the first thing a CreateThread thread does).
void adoptThreadState(std::shared_ptr<ThreadState> state);
// The calling thread's state, made and registered on first use.
std::shared_ptr<ThreadState> currentThreadState();
// The calling thread's identifier (cheap after the first call on a thread).
VEXA_STREAMING_PATH DWORD currentThreadId();
// Null when no live thread has that identifier.
std::shared_ptr<ThreadState> findThreadState(DWORD threadId);
// The thread has ended: unregister it and drop whatever is still queued.
void endThreadState(ThreadState& state);

}  // namespace vexa::platform
