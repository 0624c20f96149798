// Memory the daemon shares with a client: an anonymous memory file, mapped here and passed to
// the client, which maps it too.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <memory>

namespace txvv {

class SharedRegion {
public:
  // Null when the memory cannot be made.
  static std::unique_ptr<SharedRegion> create(const char* name, size_t size);
  ~SharedRegion();
  SharedRegion(const SharedRegion&) = delete;
  SharedRegion& operator=(const SharedRegion&) = delete;

  int fd() const { return fd_; }
  uint8_t* base() const { return base_; }
  size_t size() const { return size_; }
  uint32_t serial() const { return serial_; }

private:
  SharedRegion(int fd, uint8_t* base, size_t size, uint32_t serial)
      : fd_(fd), base_(base), size_(size), serial_(serial) {}
  int fd_;
  uint8_t* base_;
  size_t size_;
  uint32_t serial_;
};

}  // namespace txvv
