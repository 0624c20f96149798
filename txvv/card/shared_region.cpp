#include "shared_region.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

namespace txvv {

std::unique_ptr<SharedRegion> SharedRegion::create(const char* name, size_t size) {
  static std::atomic<uint32_t> serials{0};
  int fd = memfd_create(name, MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  if (ftruncate(fd, off_t(size)) != 0) {
    ::close(fd);
    return nullptr;
  }
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<SharedRegion>(
      new SharedRegion(fd, static_cast<uint8_t*>(base), size, ++serials));
}

SharedRegion::~SharedRegion() {
  munmap(base_, size_);
  ::close(fd_);
}

}  // namespace txvv
