// The meter side of a card handle: the notifications the daemon pushes become APCs queued to
// the thread that sent the start request. Private to the platform library.
#pragma once

#include "txvv_client.h"

#include "../../meter/engine/meter_records.h"

namespace vexa::platform::txvv_client {

constexpr uint32_t kRecordSlots = 128;

struct MeterState {
  // Set before the start request goes out, so the reader never sees a notification without
  // a target.
  std::atomic<DWORD> thread{0};
  std::atomic<DWORD> routine{0};
  std::atomic<DWORD> context{0};
  // The session whose notifications may still run; 0 after the stop request.
  std::atomic<uint32_t> session{0};
  std::shared_ptr<Mapping> blocks;
  uint32_t blocksSerial = 0;
  // A record is rewritten only when the daemon reuses its slot, which waits for the
  // acknowledgement of the notification that used it.
  MeterNotification records[kRecordSlots] = {};
  // Taken by the reader while it writes a record and by an acknowledgement before it goes
  // out: the order the daemon guarantees (reuse after acknowledgement) made visible here too.
  std::mutex recordLock;
};

}  // namespace vexa::platform::txvv_client
