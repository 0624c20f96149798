// The streaming thread: waits for the card to finish a half and hands that half to the host,
// one callback per wake-up, so a host that fell behind catches up one half at a time.
#include "easi_stream.h"

#include <device_link.h>
#include <thread_hints.h>

EasiStream::EasiStream(IEasiHost* host, HANDLE handle, DWORD statusAddress)
    : running(0), callbacksIssued(0), host_(host), handle_(handle), statusAddress_(statusAddress) {
  VEXA_SHARED_FLAG(&running);
  VEXA_SHARED_FLAG(&callbacksIssued);
}

DWORD EasiStream::run() {
  if (CoInitialize(nullptr) != S_OK) return 1;
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);

  for (;;) {
    // The current rate and a rate-changed flag; hosts are not told of either.
    DWORD rateReply[2];
    if (!deviceRequest(handle_, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, rateReply,
                       sizeof rateReply))
      return 1;

    // Marked before the state is read: a host stopping or closing either sees this thread busy
    // and waits for it, or this thread sees the new state.
    Activity busy(*this, Busy);
    if (endRequested()) return 0;
    // Without a host nobody takes the halves; they stay counted as not handed over.
    if (!running.load() || !host_) continue;
    const StreamStatus* status = addressOf<const StreamStatus>(statusAddress_);
    if (!status || status->completedHalves <= callbacksIssued.load()) continue;
    LONG finished = static_cast<LONG>((status->currentHalf ^ 1) & 1);
    {
      Activity inHost(*this, InHost);
      host_->halfBufferDone(finished);
    }
    callbacksIssued.store(callbacksIssued.load() + 1);
  }
}
