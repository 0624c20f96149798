#include "txvv_client.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>

#include <deque>

namespace vexa::platform::txvv_client {

namespace {

// How long memory stays mapped after its handle has let go of it.
constexpr int64_t kGraceMs = 3000;

struct Retired {
  void* base;
  size_t size;
  int64_t since;
};

std::mutex graveyardLock;
std::deque<Retired> graveyard;

int64_t nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

std::shared_ptr<Mapping> Mapping::map(int fd, size_t size) {
  // Past the memory's end a read would fault (SIGBUS), whatever size a message claimed.
  struct stat memory {};
  if (size == 0 || fstat(fd, &memory) != 0 || uint64_t(memory.st_size) < size) return nullptr;
  void* base = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (base == MAP_FAILED) return nullptr;
  return std::shared_ptr<Mapping>(new Mapping(static_cast<uint8_t*>(base), size));
}

Mapping::~Mapping() {
  int64_t now = nowMs();
  std::lock_guard<std::mutex> hold(graveyardLock);
  while (!graveyard.empty() && now - graveyard.front().since >= kGraceMs) {
    munmap(graveyard.front().base, graveyard.front().size);
    graveyard.pop_front();
  }
  graveyard.push_back({base_, size_, now});
}

}  // namespace vexa::platform::txvv_client
