// The device clients that exist right now. A notification still queued when its client was
// deleted carries a stale address; the notification routine checks it here before use.
#pragma once

class LLVAVxDDevice;

namespace live_clients {

void Add(const LLVAVxDDevice* client);
void Remove(const LLVAVxDDevice* client);
bool Contains(const LLVAVxDDevice* client);

}  // namespace live_clients
