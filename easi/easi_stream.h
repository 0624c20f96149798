// What the EASI streaming thread works on, apart from the driver object: the host to call, the
// card's handle and status block, and the count of callbacks issued. One per opened driver; it
// lives as long as its thread, so a close that cannot wait for the thread frees nothing under it.
#pragma once

#include <stream_worker.h>

#include "easi_interface.h"

class EasiStream : public StreamWorker {
public:
  EasiStream(IEasiHost* host, HANDLE handle, DWORD statusAddress);

  // The driver's Running state as the thread sees it.
  std::atomic<LONG> running;
  // Written by the thread; set back to 0 by the host side while no callback is issued.
  std::atomic<DWORD> callbacksIssued;

private:
  ~EasiStream() override = default;
  DWORD run() override;

  IEasiHost* const host_;
  const HANDLE handle_;
  const DWORD statusAddress_;
};
