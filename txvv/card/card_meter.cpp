// Meter delivery: each active meter client gets every tapped block in a slot of its own
// memory, and every rate change; a slot is reused only after its acknowledgement, so a client
// that stops acknowledging loses blocks and never holds up the card.
#include "card_handles.h"

#include <string.h>

namespace txvv {

void CardService::deliverMeterBlock() {
  uint32_t frames = model_.meterBlockFrames();
  uint32_t stride = largestMeterBlockFrames(model_.options());
  uint32_t slots = model_.options().meterSlots;
  for (auto& [id, handle] : handles_) {
    MeterClient* meter = handle->meter.get();
    if (!meter || !meter->active) continue;
    collectAcknowledgements(*handle);
    uint32_t slot = 0;
    while (slot < slots && meter->busy[slot]) ++slot;
    if (slot == slots) {
      ++meter->lost;
      continue;
    }
    // Slots keep their place whatever the block size, so a new size after a rate change
    // never overlaps a block the client still reads.
    uint32_t first = wire::kMeterBlocksOffset + slot * 2 * stride * 4;
    uint32_t second = first + stride * 4;
    memcpy(meter->region->base() + first, model_.meterBlock(0), frames * 4);
    memcpy(meter->region->base() + second, model_.meterBlock(1), frames * 4);
    wire::NotificationMessage message{wire::kMagic, wire::kNotification, meter->session, 1,
                                      slot, first, second, int32_t(frames)};
    if (!outbox_.send(handle->events, &message, sizeof message)) {
      ++meter->lost;
      continue;
    }
    meter->busy[slot] = true;
    meter->unacknowledged.push_back(slot);
    ++meter->delivered;
  }
}

void CardService::deliverRate(Handle& handle) {
  MeterClient& meter = *handle.meter;
  uint32_t blocks = model_.options().meterSlots;
  uint32_t slot = blocks;
  while (slot < blocks + kRateSlots && meter.busy[slot]) ++slot;
  meter.pendingRate = true;
  if (slot == blocks + kRateSlots) return;  // sent once an earlier one is acknowledged
  wire::NotificationMessage message{wire::kMagic, wire::kNotification, meter.session, 2, slot,
                                    model_.rate(), 0, 0};
  if (!outbox_.send(handle.events, &message, sizeof message)) return;
  meter.pendingRate = false;
  meter.busy[slot] = true;
  meter.unacknowledged.push_back(slot);
}

// Notifications run in the order they were queued, so an acknowledgement answers the oldest.
bool CardService::releaseSlot(Handle& handle) {
  MeterClient& meter = *handle.meter;
  if (meter.unacknowledged.empty()) return false;
  meter.busy[meter.unacknowledged.front()] = false;
  meter.unacknowledged.pop_front();
  return true;
}

// The client counts acknowledgements in its region; each frees the oldest slot, as the request
// does. A count beyond the slots in use frees no more than those.
void CardService::collectAcknowledgements(Handle& handle) {
  MeterClient& meter = *handle.meter;
  uint32_t count = meter.head().acknowledged.load(std::memory_order_acquire);
  uint32_t fresh = count - meter.acknowledgedSeen;
  meter.acknowledgedSeen = count;
  bool freed = false;
  for (; fresh > 0 && releaseSlot(handle); --fresh) freed = true;
  if (freed && meter.pendingRate) deliverRate(handle);
}

// True while some rate change still waits for a slot.
bool CardService::collectPendingRates() {
  bool pending = false;
  for (auto& [id, handle] : handles_) {
    MeterClient* meter = handle->meter.get();
    if (!meter || !meter->active || !meter->pendingRate) continue;
    collectAcknowledgements(*handle);
    pending = pending || meter->pendingRate;
  }
  return pending;
}

}  // namespace txvv
