// The platform's share of a streaming thread's work per half buffer: a card-driver request that
// another thread completes, a critical section, and an APC delivered through an alertable sleep.
#include <windows.h>

#include <device_double.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>

namespace {

constexpr DWORD kVersion = 0x2200DC;
constexpr DWORD kWaitHalfBuffer = 0x220080;

HANDLE openCard() {
  return CreateFileA("\\\\.\\TX_VV.VXD", 0, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE,
                     nullptr);
}

void requestRoundTrip(benchmark::State& state) {
  vexa::testing::DeviceDouble card;
  card.reply(kVersion, {true, -1, {0}, {}});
  HANDLE handle = openCard();
  DWORD word = 0, bytes = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(
        DeviceIoControl(handle, kVersion, nullptr, 0, &word, sizeof word, &bytes, nullptr));
  CloseHandle(handle);
}
BENCHMARK(requestRoundTrip);

// From the moment the "card" completes a blocked half-buffer wait until the waiting thread has
// its reply: the wake-up a streaming thread pays per half.
void blockedWaitWakeUp(benchmark::State& state) {
  vexa::testing::DeviceDouble card;
  card.blockRequests(kWaitHalfBuffer);
  HANDLE handle = openCard();
  std::atomic<long> woken{0};
  std::thread waiter([&] {
    DWORD words[2], bytes;
    while (
        DeviceIoControl(handle, kWaitHalfBuffer, nullptr, 0, words, sizeof words, &bytes, nullptr))
      woken.fetch_add(1);
  });
  long expected = 0;
  for (auto _ : state) {
    while (!card.waitForBlocked(kWaitHalfBuffer, 1)) {
    }
    card.complete(kWaitHalfBuffer, {true, -1, {48000, 0}, {}});
    ++expected;
    while (woken.load() != expected) {
    }
  }
  card.waitForBlocked(kWaitHalfBuffer, 1);
  CloseHandle(handle);
  waiter.join();
}
BENCHMARK(blockedWaitWakeUp)->UseRealTime();

void criticalSectionEnterLeave(benchmark::State& state) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  for (auto _ : state) {
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
  }
  DeleteCriticalSection(&section);
}
BENCHMARK(criticalSectionEnterLeave);

void CALLBACK noteCall(ULONG_PTR counter) { ++*reinterpret_cast<long*>(counter); }

void apcThroughAlertableSleep(benchmark::State& state) {
  long calls = 0;
  for (auto _ : state) {
    QueueUserAPC(noteCall, GetCurrentThread(), reinterpret_cast<ULONG_PTR>(&calls));
    SleepEx(0, TRUE);
  }
  benchmark::DoNotOptimize(calls);
}
BENCHMARK(apcThroughAlertableSleep);

}  // namespace
