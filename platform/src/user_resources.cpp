// The registry of module resource tables: instance handle (module base address) -> table.
#include <vexa/resource_table.h>

#include <dlfcn.h>

#include <mutex>
#include <vector>

namespace vexa::platform {
namespace {

struct Registered {
  const void* base;
  const ResourceTable* table;
};

std::mutex& registryLock() {
  static std::mutex lock;
  return lock;
}

// Never destroyed: modules unregister from their own static destructors, which may run after
// this file's would have.
std::vector<Registered>& registered() {
  static auto* tables = new std::vector<Registered>;
  return *tables;
}

}  // namespace

HMODULE moduleOfAddress(const void* address) {
  Dl_info info{};
  if (!address || !dladdr(address, &info) || !info.dli_fbase) return nullptr;
  return static_cast<HMODULE>(info.dli_fbase);
}

void registerResourceTable(const void* addressInModule, const ResourceTable* table) {
  const void* base = moduleOfAddress(addressInModule);
  if (!base || !table) return;
  std::lock_guard<std::mutex> hold(registryLock());
  registered().push_back({base, table});
}

void unregisterResourceTable(const ResourceTable* table) {
  std::lock_guard<std::mutex> hold(registryLock());
  auto& tables = registered();
  for (auto it = tables.begin(); it != tables.end(); ++it) {
    if (it->table == table) {
      tables.erase(it);
      return;
    }
  }
}

const ResourceEntry* findResource(HMODULE module, int type, int id) {
  // An instance handle is the module's base address; any address inside the module will do.
  const void* base = moduleOfAddress(module);
  if (!base) return nullptr;
  std::lock_guard<std::mutex> hold(registryLock());
  for (const Registered& r : registered()) {
    if (r.base != base) continue;
    for (int i = 0; i < r.table->count; ++i) {
      const ResourceEntry& e = r.table->entries[i];
      if (e.type == type && e.id == id) return &e;
    }
  }
  return nullptr;
}

}  // namespace vexa::platform
