#include "live_clients.h"

#include <map>
#include <mutex>

namespace live_clients {
namespace {

struct Entry {
  uint32_t serial;
  bool receiving;
};

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::map<const LLVAVxDDevice*, Entry>& Clients() {
  static std::map<const LLVAVxDDevice*, Entry> clients;
  return clients;
}

uint32_t lastSerial = 0;

}  // namespace

uint32_t Add(const LLVAVxDDevice* client) {
  std::lock_guard<std::mutex> hold(Lock());
  if (++lastSerial == 0) ++lastSerial;  // 0 means none
  Clients()[client] = {lastSerial, false};
  return lastSerial;
}

void Remove(const LLVAVxDDevice* client) {
  std::lock_guard<std::mutex> hold(Lock());
  Clients().erase(client);
}

void Open(uint32_t serial) {
  std::lock_guard<std::mutex> hold(Lock());
  for (auto& client : Clients())
    if (client.second.serial == serial) client.second.receiving = true;
}

uint32_t Receiving(const LLVAVxDDevice* client) {
  std::lock_guard<std::mutex> hold(Lock());
  const auto found = Clients().find(client);
  if (found == Clients().end() || !found->second.receiving) return 0;
  return found->second.serial;
}

}  // namespace live_clients
