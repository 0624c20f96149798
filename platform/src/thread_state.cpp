#include "thread_state.h"

#include <unistd.h>

#include <atomic>
#include <unordered_map>

namespace vexa::platform {
namespace {

std::mutex registryLock;
// Never destroyed: threads may still end (and unregister) while the process exits.
std::unordered_map<DWORD, std::shared_ptr<ThreadState>>& registry() {
  static auto* threads = new std::unordered_map<DWORD, std::shared_ptr<ThreadState>>;
  return *threads;
}

// Identifiers are never reused, so an APC meant for an ended thread cannot reach a new one.
std::atomic<DWORD> nextThreadId{0x1004};

// Ends the state of a thread that was not made by CreateThread when that thread exits.
struct CurrentThread {
  std::shared_ptr<ThreadState> state;
  ~CurrentThread();
};

thread_local CurrentThread current;
// Trivially destructible, so it can be read even while the thread's destructors run.
thread_local bool currentGone = false;
thread_local DWORD currentId = 0;

CurrentThread::~CurrentThread() {
  currentGone = true;
  if (state) endThreadState(*state);
}

std::shared_ptr<ThreadState> registerNew() {
  DWORD id = nextThreadId.fetch_add(4);
  auto state = std::make_shared<ThreadState>(id);
  std::lock_guard<std::mutex> guard(registryLock);
  registry().emplace(id, state);
  return state;
}

}  // namespace

std::shared_ptr<ThreadState> createThreadState() { return registerNew(); }

void adoptThreadState(std::shared_ptr<ThreadState> state) {
  currentId = state->id;
  current.state = std::move(state);
}

std::shared_ptr<ThreadState> currentThreadState() {
  if (currentGone) {
    // Asked from a destructor that runs after ours: answer, but keep nothing registered.
    if (currentId == 0) currentId = nextThreadId.fetch_add(4);
    auto late = std::make_shared<ThreadState>(currentId);
    late->alive = false;
    return late;
  }
  if (!current.state) {
    current.state = registerNew();
    currentId = current.state->id;
  }
  return current.state;
}

DWORD currentThreadId() { return currentId != 0 ? currentId : currentThreadState()->id; }

std::shared_ptr<ThreadState> findThreadState(DWORD threadId) {
  std::lock_guard<std::mutex> guard(registryLock);
  auto found = registry().find(threadId);
  return found == registry().end() ? nullptr : found->second;
}

ThreadState::~ThreadState() {
  if (wakeDescriptor >= 0) ::close(wakeDescriptor);
}

void endThreadState(ThreadState& state) {
  {
    std::lock_guard<std::mutex> guard(registryLock);
    auto found = registry().find(state.id);
    if (found != registry().end() && found->second.get() == &state) registry().erase(found);
  }
  std::deque<QueuedApc> dropped;
  std::vector<std::shared_ptr<ApcSource>> unwatched;
  std::lock_guard<std::mutex> guard(state.lock);
  state.alive = false;
  dropped.swap(state.apcs);
  unwatched.swap(state.sources);
}

}  // namespace vexa::platform
