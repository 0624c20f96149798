#include "live_clients.h"

#include <mutex>
#include <set>

namespace live_clients {
namespace {

std::mutex& Lock() {
  static std::mutex lock;
  return lock;
}

std::set<const LLVAVxDDevice*>& Clients() {
  static std::set<const LLVAVxDDevice*> clients;
  return clients;
}

}  // namespace

void Add(const LLVAVxDDevice* client) {
  std::lock_guard<std::mutex> hold(Lock());
  Clients().insert(client);
}

void Remove(const LLVAVxDDevice* client) {
  std::lock_guard<std::mutex> hold(Lock());
  Clients().erase(client);
}

bool Contains(const LLVAVxDDevice* client) {
  std::lock_guard<std::mutex> hold(Lock());
  return Clients().count(client) != 0;
}

}  // namespace live_clients
