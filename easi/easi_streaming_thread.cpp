// The streaming thread: waits for the card to finish a half and hands that half to the host,
// one callback per wake-up, so a host that fell behind catches up one half at a time.
#include "easi_driver.h"

DWORD WINAPI easiStreamingThread(LPVOID parameter) {
  return static_cast<EasiDriver*>(parameter)->runStreaming();
}

DWORD EasiDriver::runStreaming() {
  if (CoInitialize(nullptr) != S_OK) return 1;
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);

  for (;;) {
    // The current rate and a rate-changed flag; hosts are not told of either.
    DWORD rateReply[2];
    if (!deviceRequest(device->handle, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, rateReply,
                       sizeof rateReply))
      return 1;

    switch (currentState()) {
      case EasiState::Closed:
      case EasiState::Closing:
        return 0;
      case EasiState::Running:
        // Without a host nobody takes the halves; they stay counted as not handed over.
        if (host && hostLagging()) {
          LONG finished = static_cast<LONG>((streamStatus().currentHalf ^ 1) & 1);
          host->halfBufferDone(finished);
          callbacksIssued.store(callbacksIssued.load() + 1);
        }
        break;
      default:
        break;
    }
  }
}
