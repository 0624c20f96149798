#include "registry_handles.h"

#include <mutex>
#include <unordered_map>

namespace vexa::platform::registry {
namespace {

// Values below the predefined roots (0x80000000..) and apart from kernel handles; a closed
// value is not handed out again until the whole range has been used, so a late call on a
// closed HKEY is refused rather than landing on another key.
constexpr ULONG_PTR kFirstHandle = 0x10000;
constexpr ULONG_PTR kLastHandle = 0x7FFFFFF0;

struct Table {
  std::mutex lock;
  std::unordered_map<ULONG_PTR, OpenKey> keys;
  ULONG_PTR next = kFirstHandle;
};

Table& table() {
  static Table* instance = new Table;
  return *instance;
}

}  // namespace

bool isPredefinedKey(HKEY key) {
  return key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE ||
         key == HKEY_USERS;
}

HKEY insertOpenKey(const OpenKey& key) {
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  ULONG_PTR value;
  do {
    value = t.next;
    t.next = t.next >= kLastHandle ? kFirstHandle : t.next + 4;
  } while (t.keys.count(value) != 0);
  t.keys.emplace(value, key);
  return reinterpret_cast<HKEY>(value);
}

bool lookupOpenKey(HKEY handle, OpenKey& key) {
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto found = t.keys.find(reinterpret_cast<ULONG_PTR>(handle));
  if (found == t.keys.end()) return false;
  key = found->second;
  return true;
}

bool removeOpenKey(HKEY handle) {
  Table& t = table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.keys.erase(reinterpret_cast<ULONG_PTR>(handle)) != 0;
}

}  // namespace vexa::platform::registry
