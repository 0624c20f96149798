// The device clients that exist right now, each with a serial number that no later client
// shares. The card driver's notifications name their client by its address only, and a client
// made after another was deleted may get the same address; a notification still queued for
// the deleted one must not reach it. So a client receives notifications only from its own
// mark in its thread's queue on: Start queues the call that opens it there before the card
// driver can queue anything for it, and whatever runs before that mark was meant for a client
// that lived at the address earlier.
#pragma once

#include <stdint.h>

class LLVAVxDDevice;

namespace live_clients {

// Returns the new client's serial; it receives nothing until Open is called with it.
uint32_t Add(const LLVAVxDDevice* client);
void Remove(const LLVAVxDDevice* client);
// The client with this serial, if it still exists, receives notifications from now on.
void Open(uint32_t serial);
// The serial of the client at this address when it exists and receives; 0 otherwise.
uint32_t Receiving(const LLVAVxDDevice* client);

}  // namespace live_clients
