// A driver object's streaming thread together with what it shares with its owner. The owner and
// the thread each hold a reference and the last to let go frees, so an owner that cannot wait
// for its thread (released from inside a host callback, or a callback that never returns) still
// returns in time, and the thread never runs on freed memory or in an unloaded module.
#pragma once

#include <windows.h>

#include <atomic>

// How long an owner waits for its streaming thread to end before it stops waiting.
constexpr DWORD kStreamShutdownWaitMs = 500;

class StreamWorker {
public:
  // Where the thread is, as its owner needs to know when it wants the thread gone.
  enum Phase : LONG {
    InDriver = 0,  // waiting on the card or in the driver's own code
    Busy = 1,      // between a wake-up and the host call it may lead to: reading shared state
    InHost = 2,    // in a host callback
  };

  StreamWorker();
  StreamWorker(const StreamWorker&) = delete;
  StreamWorker& operator=(const StreamWorker&) = delete;

  // Starts the thread on run(); false when it could not be created.
  bool startThread();
  HANDLE threadHandle() const { return thread_; }

  // For the owner. Asks the thread to end, waits for it up to `waitMs` unless it is the
  // calling thread, and ends it by force only while it is in the driver's own code: a thread in
  // host code is left to return by itself, with `module` kept loaded until it has. Drops the
  // owner's reference; the object must not be touched afterwards.
  void finish(HINSTANCE module, DWORD waitMs = kStreamShutdownWaitMs);

  void requestEnd() { endRequested_.store(1); }
  bool endRequested() const { return endRequested_.load() != 0; }
  bool onWorkerThread() const {
    DWORD id = threadId_.load();
    return id != 0 && GetCurrentThreadId() == id;
  }
  Phase phase() const { return static_cast<Phase>(phase_.load()); }

  // For host-side calls that must not return while a callback they stop is still running:
  // waits, at most `milliseconds`, until the thread is no longer between a wake-up and the end
  // of its host call. Returns at once on the thread itself.
  bool waitUntilOutOfHost(DWORD milliseconds) const;

  // Marks what the thread is doing for as long as it lives. Sequentially consistent: an owner
  // that has published a change and then reads the phase either sees the thread busy, or the
  // thread sees the change.
  class Activity {
  public:
    Activity(StreamWorker& worker, Phase phase) : worker_(worker), previous_(worker.phase_) {
      worker_.phase_.store(phase);
    }
    ~Activity() { worker_.phase_.store(previous_); }
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;

  private:
    StreamWorker& worker_;
    LONG previous_;
  };

protected:
  virtual ~StreamWorker() = default;
  // The thread's work; its result is the thread's exit code.
  virtual DWORD run() = 0;

private:
  static DWORD WINAPI threadMain(LPVOID argument);
  void release();
  void leaveBehind(HINSTANCE module);
  HMODULE threadEnded();

  std::atomic<LONG> references_;
  std::atomic<LONG> endRequested_;
  std::atomic<LONG> phase_;
  // Who went first: the owner leaving the thread behind (with the module pinned in pin_) or the
  // thread ending. Whoever comes second lets the pin go.
  std::atomic<LONG> parting_;
  HMODULE pin_;
  HANDLE thread_;
  std::atomic<DWORD> threadId_;
};

// What is left of the shutdown wait begun at `startTick` (a GetTickCount value).
DWORD shutdownWaitLeft(DWORD startTick);

// Streaming threads of this module that have not ended: the module must not unload under them.
LONG liveStreamWorkers();
