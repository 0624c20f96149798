// One card handle: its request channels (one per thread in a request at the same time), the
// stream memory and the translation of the daemon's offsets into addresses of this process.
#include "txvv_client_meter.h"

#include "../../driverlib/device_records.h"

#include <pthread.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vexa::platform::txvv_client {

namespace wire = txvv::wire;

// The primary channel is the handle's lifeline and carries no requests: a thread terminated
// in the middle of a request loses its channel, and losing the primary would close the handle.
Handle::Handle(std::string path, int primary, const wire::Welcome& welcome, int waitPage)
    : path_(std::move(path)),
      token_(welcome.token),
      primary_(primary),
      meter_(std::make_shared<MeterState>()) {
  open_.insert(primary);
  // Without the page (or with a page that does not hold the cell) waits take the socket.
  if (waitPage >= 0 && welcome.waitCell >= 1 && welcome.waitCell <= wire::kWaitCells &&
      welcome.waitPageSize >= sizeof(wire::WaitPage)) {
    waitPage_ = Mapping::map(waitPage, welcome.waitPageSize);
    if (waitPage_)
      waitCell_ = &reinterpret_cast<wire::WaitPage*>(waitPage_->base())->cells[welcome.waitCell - 1];
  }
}

Handle::~Handle() {
  close();
  for (int fd : open_) ::close(fd);
}

int Handle::takeChannel() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (closed_) return -1;
    if (!idle_.empty()) {
      int fd = idle_.back();
      idle_.pop_back();
      return fd;
    }
  }
  // Every thread inside a request at the same time (one blocked in a wait, most likely) has a
  // channel of its own on the handle.
  int fd = connectCard(path_);
  if (fd < 0) return -1;
  wire::Welcome welcome{};
  if (!greet(fd, wire::kAttach, token_, &welcome)) {
    ::close(fd);
    return -1;
  }
  std::lock_guard<std::mutex> hold(lock_);
  if (closed_) {
    ::close(fd);
    return -1;
  }
  open_.insert(fd);
  return fd;
}

void Handle::returnChannel(int fd) {
  std::lock_guard<std::mutex> hold(lock_);
  if (!closed_) {
    idle_.push_back(fd);
    return;
  }
  open_.erase(fd);
  ::close(fd);
}

// A channel whose exchange did not finish may still get a reply: it is never used again.
void Handle::discardChannel(int fd) {
  int state;
  // Runs during the unwinding of a terminated thread too: close() must not act on the
  // cancellation again.
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &state);
  {
    std::lock_guard<std::mutex> hold(lock_);
    open_.erase(fd);
  }
  ::close(fd);
  pthread_setcancelstate(state, nullptr);
}

namespace {

class ChannelLease {
public:
  ChannelLease(Handle& handle, int fd, void (Handle::*discard)(int), void (Handle::*release)(int))
      : handle_(handle), fd_(fd), discard_(discard), release_(release) {}
  ~ChannelLease() {
    if (fd_ >= 0) (handle_.*discard_)(fd_);
  }
  void release() {
    int fd = fd_;
    fd_ = -1;  // first: a thread terminated inside the call must not discard it as well
    (handle_.*release_)(fd);
  }
  int fd() const { return fd_; }

private:
  Handle& handle_;
  int fd_;
  void (Handle::*discard_)(int);
  void (Handle::*release_)(int);
};

void closeAll(std::vector<int>& fds) {
  for (int fd : fds) ::close(fd);
  fds.clear();
}

}  // namespace

bool Handle::control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned) {
  *returned = 0;
  if ((!in && inSize) || (!out && outSize) || inSize > wire::kMaxRequestInput) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (code == IOCTL_VV_WAIT_HALF_BUFFER && waitCell_ && outSize >= 8 && watchLifeline())
    return waitForHalf(out, returned);
  if (code == IOCTL_LLVA_ACKNOWLEDGE && acknowledge()) return true;
  if (code == IOCTL_LLVA_START && !prepareMeter(in, inSize)) {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  return exchange(code, in, inSize, out, outSize, returned);
}

bool Handle::exchange(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                      DWORD* returned) {
  int fd = takeChannel();
  if (fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  ChannelLease lease(*this, fd, &Handle::discardChannel, &Handle::returnChannel);

  // On the stack: a streaming thread without the wait page makes this call every half buffer.
  uint8_t message[sizeof(wire::RequestHeader) + wire::kMaxRequestInput];
  DWORD sentOut = outSize < wire::kMaxRequestOutput ? outSize : wire::kMaxRequestOutput;
  wire::RequestHeader header{wire::kMagic, wire::kRequest, code, inSize, sentOut};
  memcpy(message, &header, sizeof header);
  if (inSize) memcpy(message + sizeof header, in, inSize);
  if (!sendMessage(fd, message, sizeof header + inSize)) {
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);
    return false;
  }

  uint8_t buffer[sizeof(wire::ReplyHeader) + wire::kMaxRequestOutput];
  std::vector<int> fds;
  ssize_t n = receiveMessage(fd, buffer, sizeof buffer, &fds);
  wire::ReplyHeader reply{};
  if (n >= ssize_t(sizeof reply)) memcpy(&reply, buffer, sizeof reply);
  if (n < ssize_t(sizeof reply) || reply.magic != wire::kMagic || reply.type != wire::kReply ||
      reply.dataSize > sentOut || size_t(n) != sizeof reply + reply.dataSize) {
    closeAll(fds);
    SetLastError(ERROR_DEVICE_NOT_CONNECTED);  // the daemon hung up (handle closed) or broke
    return false;
  }
  lease.release();

  if (reply.dataSize) memcpy(out, buffer + sizeof reply, reply.dataSize);
  if (reply.ok && reply.region == wire::kStreamRegion &&
      !translateStreamConfig(reply, fds, out, reply.dataSize)) {
    closeAll(fds);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
  }
  closeAll(fds);
  *returned = reply.bytes;
  if (code == IOCTL_LLVA_START && reply.ok) meter_->session = reply.session;
  if (code == IOCTL_LLVA_STOP) meter_->session = 0;
  if (!reply.ok) {
    SetLastError(reply.error ? reply.error : ERROR_GEN_FAILURE);
    return false;
  }
  return true;
}

// The daemon writes offsets into its stream memory; the caller gets addresses in this process.
bool Handle::translateStreamConfig(const wire::ReplyHeader& reply, std::vector<int>& fds,
                                   void* out, DWORD size) {
  std::shared_ptr<Mapping> mapping;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (stream_ && streamSerial_ == reply.regionSerial) mapping = stream_;
  }
  if (!mapping) {
    if (fds.size() != 1) return false;
    mapping = Mapping::map(fds[0], reply.regionSize);
    if (!mapping) return false;
    std::lock_guard<std::mutex> hold(lock_);
    stream_ = mapping;
    streamSerial_ = reply.regionSerial;
  }
  if (size < sizeof(StreamConfig)) return true;
  StreamConfig config;
  memcpy(&config, out, sizeof config);
  auto translate = [&](DWORD& offset, size_t extent) {
    if (offset > mapping->size() || mapping->size() - offset < extent) return false;
    offset = DWORD(reinterpret_cast<uintptr_t>(mapping->base() + offset));
    return true;
  };
  if (config.numInputs > kMaxStreamChannels || config.numOutputs > kMaxStreamChannels) return false;
  for (DWORD i = 0; i < config.numInputs; ++i)
    for (DWORD& half : config.inputs[i].half)
      if (!translate(half, config.bufferBytes)) return false;
  for (DWORD i = 0; i < config.numOutputs; ++i)
    for (DWORD& half : config.outputs[i].half)
      if (!translate(half, config.bufferBytes)) return false;
  if (!translate(config.status, sizeof(StreamStatus))) return false;
  memcpy(out, &config, sizeof config);
  return true;
}

void Handle::close() {
  std::thread watcher;
  std::shared_ptr<vexa::platform::ApcSource> events;
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (closed_) return;
    closed_ = true;
    hungUp_.store(true);
    wakeSleepers();  // waits asleep on the wait page fail at once too
    // Requests blocked on any channel of this handle fail at once; the daemon sees the
    // handle close.
    for (int fd : open_) shutdown(fd, SHUT_RDWR);
    for (int fd : idle_) {
      open_.erase(fd);
      ::close(fd);
    }
    idle_.clear();
    if (events_) {
      shutdown(events_->descriptor(), SHUT_RDWR);
      if (eventsThread_ != 0) unwatchApcSource(eventsThread_, events_.get());
      eventsThread_ = 0;
      events.swap(events_);
    }
    watcher.swap(watcher_);
    stream_.reset();
  }
  meter_->session = 0;
  if (watcher.joinable()) watcher.join();  // the primary's shutdown ended its watch
}

}  // namespace vexa::platform::txvv_client
