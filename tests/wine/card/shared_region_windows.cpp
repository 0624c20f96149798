// The card model's stream memory inside one Windows process: nothing to share with another,
// so plain committed pages.
#include <shared_region.h>

#include <windows.h>

#include <atomic>

namespace txvv {

std::unique_ptr<SharedRegion> SharedRegion::create(const char*, size_t size) {
  static std::atomic<uint32_t> serials{0};
  void* base = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!base) return nullptr;
  return std::unique_ptr<SharedRegion>(
      new SharedRegion(-1, static_cast<uint8_t*>(base), size, ++serials));
}

SharedRegion::~SharedRegion() { VirtualFree(base_, 0, MEM_RELEASE); }

}  // namespace txvv
