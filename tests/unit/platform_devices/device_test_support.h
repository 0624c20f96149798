// Requests and helpers shared by the card-driver handle tests.
#pragma once

#include <windows.h>

#include <device_double.h>

namespace devicetest {

constexpr DWORD kGetVersion = 0x2200DC;
constexpr DWORD kWaitHalfBuffer = 0x220080;
constexpr DWORD kMeterStart = 0x2200B0;
constexpr DWORD kGenerous = 30000;

inline HANDLE openCard(const char* name = "\\\\.\\TX_VV.VXD") {
  return CreateFileA(name, 0, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

// A thread that sends one half-buffer wait on a handle and keeps what came back.
struct Waiter {
  HANDLE device;
  DWORD words[2] = {0, 0};
  DWORD bytes = 0;
  BOOL ok = FALSE;
  DWORD error = 0;
  HANDLE thread = nullptr;

  static DWORD WINAPI run(LPVOID self) {
    auto* waiter = static_cast<Waiter*>(self);
    waiter->ok = DeviceIoControl(waiter->device, kWaitHalfBuffer, nullptr, 0, waiter->words,
                                 sizeof waiter->words, &waiter->bytes, nullptr);
    waiter->error = waiter->ok ? 0 : GetLastError();
    return waiter->ok ? 1 : 0;
  }
  void start() { thread = CreateThread(nullptr, 0, run, this, 0, nullptr); }
  bool ended(DWORD ms = kGenerous) { return WaitForSingleObject(thread, ms) == WAIT_OBJECT_0; }
  ~Waiter() {
    if (thread) CloseHandle(thread);
  }
};

}  // namespace devicetest
