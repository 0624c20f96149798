// The head of a meter client's region. The client counts its acknowledgements here instead of
// sending each as a request: the meter acknowledges every block from its window thread, and a
// round trip to the daemon there costs two thread wakes a block. The daemon reads the count
// before it picks a slot and on each tick, and frees that many slots, oldest first. The
// request stays, for clients without the region, and counts the same.
#pragma once

#include "wait_page.h"

namespace txvv::wire {

struct alignas(64) MeterRegionHead {
  SharedWord acknowledged;  // acknowledgements so far, wrapping; written by the client only
};

// The blocks follow the head.
constexpr uint32_t kMeterBlocksOffset = sizeof(MeterRegionHead);
static_assert(kMeterBlocksOffset == 64);

}  // namespace txvv::wire
