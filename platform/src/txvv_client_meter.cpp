// Meter notifications: the thread that sent the start request takes them from the daemon's
// events channel during its alertable waits, fills the notification record and queues itself
// an APC.
#include "txvv_client_meter.h"

#include <vexa/apc_queue.h>

#include "../../txvv/wire/meter_region.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

namespace vexa::platform::txvv_client {

namespace wire = txvv::wire;

namespace {

struct Delivery {
  std::shared_ptr<MeterState> meter;
  uint32_t session;
  uint32_t slot;
  DWORD routine;
};

// Runs as the APC. A notification of a session that has been stopped since is dropped: its
// slot may already serve the next session.
void CALLBACK deliver(ULONG_PTR data) {
  std::unique_ptr<Delivery> delivery(reinterpret_cast<Delivery*>(data));
  if (delivery->meter->session.load() != delivery->session) return;
  auto routine = reinterpret_cast<PAPCFUNC>(static_cast<uintptr_t>(delivery->routine));
  routine(reinterpret_cast<ULONG_PTR>(&delivery->meter->records[delivery->slot]));
}

}  // namespace

// The events channel, watched by the alertable waits of the thread that started the meter:
// that thread reads its notifications itself, so none costs another thread a wake-up.
class EventSource : public ApcSource {
public:
  EventSource(std::weak_ptr<Handle> handle, int fd) : handle_(std::move(handle)), fd_(fd) {}
  ~EventSource() override { ::close(fd_); }
  int descriptor() const override { return fd_; }
  void drain() override {
    if (auto handle = handle_.lock()) handle->drainEvents(fd_);
  }

private:
  const std::weak_ptr<Handle> handle_;
  const int fd_;
};

bool Handle::prepareMeter(const void* in, DWORD inSize) {
  if (inSize < sizeof(MeterStartRecord)) return true;  // the daemon refuses it
  MeterStartRecord start;
  memcpy(&start, in, sizeof start);
  const DWORD thread = GetCurrentThreadId();
  std::lock_guard<std::mutex> hold(lock_);
  if (closed_) return false;
  if (!events_) {
    int fd = connectCard(path_);
    wire::Welcome welcome{};
    if (fd < 0 || !greet(fd, wire::kEvents, token_, &welcome) ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
      if (fd >= 0) ::close(fd);
      return false;
    }
    events_ = std::make_shared<EventSource>(weak_from_this(), fd);
  }
  if (thread != eventsThread_) {
    if (!watchApcSource(thread, events_)) return false;
    if (eventsThread_ != 0) unwatchApcSource(eventsThread_, events_.get());
    eventsThread_ = thread;
  }
  meter_->thread = thread;
  meter_->routine = start.routine;
  meter_->context = start.context;
  return true;
}

// Takes every message waiting on the events channel. When the daemon has hung up, the channel
// is no longer watched.
void Handle::drainEvents(int fd) {
  for (;;) {
    uint8_t buffer[64];
    std::vector<int> fds;
    errno = 0;
    ssize_t n = receiveMessage(fd, buffer, sizeof buffer, &fds);
    if (n < 0 && errno == 0) continue;  // a message too long for any we know: dropped
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) {
      for (int passed : fds) ::close(passed);
      std::lock_guard<std::mutex> hold(lock_);
      if (eventsThread_ != 0 && events_) unwatchApcSource(eventsThread_, events_.get());
      eventsThread_ = 0;
      return;
    }
    handleEvent(buffer, size_t(n), fds);
    for (int passed : fds) ::close(passed);
  }
}

void Handle::handleEvent(const uint8_t* buffer, size_t n, const std::vector<int>& fds) {
  MeterState& meter = *meter_;
  uint32_t head[2] = {};
  if (n >= 8) memcpy(head, buffer, 8);
  if (head[0] == wire::kMagic && head[1] == wire::kRegion && n == sizeof(wire::RegionMessage) &&
      fds.size() == 1) {
    wire::RegionMessage region;
    memcpy(&region, buffer, sizeof region);
    if (region.size >= wire::kMeterBlocksOffset) {
      if (auto mapping = Mapping::map(fds[0], region.size)) {
        std::lock_guard<std::mutex> writing(meter.recordLock);
        meter.blocks = mapping;
        meter.blocksSerial = region.serial;
      }
    }
    return;
  }
  if (head[0] != wire::kMagic || head[1] != wire::kNotification ||
      n != sizeof(wire::NotificationMessage) || !meter.blocks)
    return;
  wire::NotificationMessage note;
  memcpy(&note, buffer, sizeof note);
  // In 64 bits: on i386 a count of 2^30 + 16 would pass as 64 bytes.
  uint64_t blockBytes = uint64_t(uint32_t(note.count)) * 4;
  uint64_t size = meter.blocks->size();
  bool valid = note.slot < kRecordSlots && (note.kind == 2 || note.kind == 1);
  if (note.kind == 1)
    valid = valid && note.count >= 0 && note.word1 >= wire::kMeterBlocksOffset &&
            note.word1 <= size && size - note.word1 >= blockBytes &&
            note.word2 >= wire::kMeterBlocksOffset && note.word2 <= size &&
            size - note.word2 >= blockBytes;
  if (!valid) {
    // Dropped, but answered: the card holds the slot until it is acknowledged.
    if (note.session == meter.session.load()) acknowledge();
    return;
  }
  std::unique_lock<std::mutex> writing(meter.recordLock);
  MeterNotification& record = meter.records[note.slot];
  record.kind = note.kind;
  record.word1 = note.kind == 1 ? DWORD(reinterpret_cast<uintptr_t>(meter.blocks->base() + note.word1))
                                : note.word1;
  record.word2 = note.kind == 1 ? DWORD(reinterpret_cast<uintptr_t>(meter.blocks->base() + note.word2)) : 0;
  record.count = note.kind == 1 ? note.count : 0;
  record.context = meter.context;
  writing.unlock();
  auto* delivery = new Delivery{meter_, note.session, note.slot, meter.routine};
  if (!queueApcToThread(meter.thread, deliver, reinterpret_cast<ULONG_PTR>(delivery))) {
    // The thread has ended: nobody will acknowledge, so the slot is given back here.
    delete delivery;
    acknowledge();
  }
}

// Under the record lock, as the request was (see MeterState).
bool Handle::acknowledge() {
  std::lock_guard<std::mutex> read(meter_->recordLock);
  if (!meter_->blocks || hungUp_) return false;
  auto* head = reinterpret_cast<wire::MeterRegionHead*>(meter_->blocks->base());
  head->acknowledged.fetch_add(1, std::memory_order_release);
  return true;
}

}  // namespace vexa::platform::txvv_client
