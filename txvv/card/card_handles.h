// The per-handle state of the card service (private to its implementation files).
#pragma once

#include "card_service.h"

#include "../wire/meter_region.h"

#ifndef ERROR_NOT_READY
#define ERROR_NOT_READY 21L
#endif

namespace txvv {

constexpr uint32_t kRateSlots = 4;  // rate-change records outstanding at once, per meter client
constexpr uint32_t kMaxMeterSlots = 64;
// A card that has not run for this long (a stopped daemon, a suspended machine) starts afresh
// instead of producing the missed time in one burst.
constexpr uint32_t kLongestCatchUpMs = 200;
constexpr uint32_t kNoWaitCell = ~0u;
// While a rate change waits for a free slot, acknowledgements counted in memory are looked for
// this often even when no block is due (a stopped clock delivers none).
constexpr int64_t kPendingRatePollNs = 5000000;

struct CardService::MeterClient {
  std::unique_ptr<SharedRegion> region;
  bool regionSent = false;
  bool active = false;
  uint32_t session = 0;
  uint32_t routine = 0;
  uint32_t context = 0;
  std::vector<bool> busy;       // block slots, then rate slots
  std::deque<uint32_t> unacknowledged;  // slots in the order they were sent
  uint32_t acknowledgedSeen = 0;        // the region's count when last looked at
  bool pendingRate = false;
  uint64_t delivered = 0;
  uint64_t lost = 0;

  wire::MeterRegionHead& head() { return *reinterpret_cast<wire::MeterRegionHead*>(region->base()); }
};

struct CardService::Handle {
  uint32_t id = 0;
  pid_t pid = 0;
  uint64_t token = 0;
  ChannelId primary = 0;
  std::set<ChannelId> channels;
  ChannelId events = 0;
  // The handle's wait state: a cell of the shared wait page, or its own when none is free
  // (then its waits go through the socket only).
  wire::WaitCell* cell = nullptr;
  uint32_t cellIndex = kNoWaitCell;
  std::unique_ptr<wire::WaitCell> ownCell;
  std::unique_ptr<MeterClient> meter;
};

}  // namespace txvv
