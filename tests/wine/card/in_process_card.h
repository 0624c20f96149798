// The simulated card inside a Windows process: the card model txvvd runs, behind the card
// driver's requests, for the Wine checks. One card per process; handles are real event handles
// (so they never collide with the process's other handles), known to the card by value.
#pragma once

#include <windows.h>

#include <card_model.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace wine_card {

class InProcessCard {
public:
  // Every input plays back the output of the same number (loopback), 4 in, 4 out, 48000 Hz.
  InProcessCard();
  ~InProcessCard();

  HANDLE open();
  // Takes no lock: it also serves the drivers' runtime closing its handles while the process
  // exits, when the card's clock thread may have been stopped holding the lock.
  bool owns(HANDLE handle) const;
  // DeviceIoControl's contract: FALSE with the thread's last error on failure.
  BOOL request(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out,
               DWORD outSize, DWORD* returned);
  // Fails every request blocked on the handle, then forgets it.
  BOOL close(HANDLE handle);

private:
  using Clock = std::chrono::steady_clock;
  struct Handle {
    uint32_t wokenFor = 0;     // halves since the start this handle's waits were woken for
    uint32_t rateSeen = 0;     // the rate generation its last wait reported
    bool closed = false;
  };

  BOOL waitHalf(std::unique_lock<std::mutex>& hold, std::shared_ptr<Handle> handle, DWORD* words);
  void catchUp(Clock::time_point now);
  void reanchor(Clock::time_point now);
  void clockThread();
  BOOL answer(void* out, DWORD outSize, DWORD* returned, std::initializer_list<DWORD> words);

  static constexpr int kMaxHandles = 64;
  std::atomic<HANDLE> open_[kMaxHandles] = {};

  std::mutex lock_;
  std::condition_variable changed_;
  txvv::CardModel model_;
  // A wait keeps its handle's record while it sleeps, also after the handle is closed.
  std::map<HANDLE, std::shared_ptr<Handle>> handles_;
  HANDLE owner_ = nullptr;
  uint32_t rateGeneration_ = 0;
  uint64_t processed_ = 0;  // frames the model has produced since the anchor was set
  Clock::time_point anchor_;
  bool quit_ = false;
  std::thread clock_;
};

}  // namespace wine_card
