#include "socket_server.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace txvv {

namespace {

constexpr uint64_t kListenerKey = 1;
constexpr uint64_t kWakeKey = 2;
constexpr uint64_t kSignalKey = 3;
// A client sends its hello right after connecting; a connection silent for this long is
// someone else's business and gives its descriptor back.
constexpr int64_t kHelloWithinMs = 3000;
// Without even a descriptor to refuse a newcomer with, the listener is not watched (it would
// wake the loop at once, again and again) but tried this often.
constexpr int kRetryAcceptMs = 200;

int64_t monotonicMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

SocketServer::SocketServer(std::string path) : path_(std::move(path)) {}

SocketServer::~SocketServer() {
  for (auto& [id, fd] : fds_) ::close(fd);
  if (listen_ >= 0) ::close(listen_);
  if (epoll_ >= 0) ::close(epoll_);
  if (wake_ >= 0) ::close(wake_);
  if (lockFd_ >= 0) ::close(lockFd_);
  if (reserve_ >= 0) ::close(reserve_);
}

// Only a socket of this user that nobody answers on is left over by a daemon that died; any
// other file at the path is someone's, and stays.
bool SocketServer::staleSocket(const sockaddr_un& address, std::string* error) {
  struct stat info {};
  if (lstat(path_.c_str(), &info) != 0) {
    if (errno == ENOENT) return true;
    *error = path_ + ": " + strerror(errno);
    return false;
  }
  if (!S_ISSOCK(info.st_mode) || info.st_uid != getuid()) {
    *error = path_ + ": exists and is not a card socket of this user; it is left as it is";
    return false;
  }
  int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  bool answered = probe >= 0 && connect(probe, reinterpret_cast<const sockaddr*>(&address),
                                        sizeof address) == 0;
  if (probe >= 0) ::close(probe);
  if (answered) {
    *error = path_ + ": another program listens on this socket; it is left as it is";
    return false;
  }
  return true;
}

int SocketServer::listen(std::string* error) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path) {
    *error = path_ + ": socket path too long";
    return -1;
  }
  strcpy(address.sun_path, path_.c_str());
  struct stat existing {};
  // Checked before the lock file is made beside it: a path that is not ours gains nothing.
  if (lstat(path_.c_str(), &existing) == 0 &&
      (!S_ISSOCK(existing.st_mode) || existing.st_uid != getuid())) {
    staleSocket(address, error);
    return -1;
  }
  std::string lockPath = path_ + ".lock";
  lockFd_ = open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  if (lockFd_ < 0) {
    *error = lockPath + ": " + strerror(errno);
    return -1;
  }
  // One daemon per socket: whoever holds the lock serves it.
  if (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) return 1;

  if (!staleSocket(address, error)) return -1;
  unlink(path_.c_str());  // a socket left by a daemon that died
  listen_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  mode_t previous = umask(0077);
  int bound = listen_ >= 0 ? bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) : -1;
  umask(previous);
  if (bound != 0 || chmod(path_.c_str(), 0600) != 0 || ::listen(listen_, 64) != 0) {
    *error = path_ + ": " + strerror(errno);
    return -1;
  }
  reserve_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kListenerKey;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, listen_, &event);
  event.data.u64 = kWakeKey;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
  return 0;
}

void SocketServer::removeSocket() {
  if (listen_ >= 0) unlink(path_.c_str());
}

void SocketServer::run(CardService& service, int signalFd, int lingerMs) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kSignalKey;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, signalFd, &event);
  int64_t idleSince = monotonicMs();
  for (;;) {
    epoll_event events[32];
    bool timed = lingerMs >= 0 || !silent_.empty() || !listening_;
    int count = epoll_wait(epoll_, events, 32, timed ? kRetryAcceptMs : -1);
    if (count < 0 && errno != EINTR) return;
    for (int i = 0; i < count; ++i)
      if (events[i].data.u64 == kSignalKey) return;
    for (int i = 0; i < count; ++i) {
      uint64_t key = events[i].data.u64;
      if (key == kListenerKey) {
        accept(service);
      } else if (key == kWakeKey) {
        uint64_t value;
        while (read(wake_, &value, sizeof value) > 0) {
        }
      } else {
        readChannel(service, ChannelId(key));
      }
    }
    std::vector<ChannelId> hangUps;
    {
      std::lock_guard<std::mutex> hold(lock_);
      hangUps.swap(hangUps_);
    }
    for (ChannelId channel : hangUps) closeChannel(service, channel);
    closeSilentChannels(service);
    if (!listening_) accept(service);

    // Only handles keep the card: a status query or a connection that never says hello does
    // not, and a client that connects as the daemon ends tries again and starts another.
    if (lingerMs >= 0) {
      if (service.handleCount() != 0) idleSince = monotonicMs();
      else if (monotonicMs() - idleSince >= lingerMs) return;
    }
  }
}

void SocketServer::closeSilentChannels(CardService& service) {
  int64_t now = monotonicMs();
  while (!silent_.empty() && now - silent_.front().since >= kHelloWithinMs) {
    ChannelId channel = silent_.front().channel;
    silent_.pop_front();
    if (service.greeted(channel)) continue;
    closeChannel(service, channel);
  }
}

// Out of descriptors: the newcomer is accepted with the descriptor kept back for this and
// closed at once, so that it learns at once and does not stay pending to wake this loop again.
// False when nothing is pending any more (accept4 says EMFILE before it looks), or when not
// even the reserve is left.
bool SocketServer::refuseNewcomer() {
  if (reserve_ < 0) reserve_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (reserve_ < 0) {
    stopListening();
    return false;
  }
  ::close(reserve_);
  int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) ::close(fd);
  reserve_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  if (!refusing_) {
    refusing_ = true;
    std::lock_guard<std::mutex> hold(lock_);
    fprintf(stderr, "txvvd: out of file descriptors with %zu connections: refusing new ones "
                    "until some close\n", fds_.size());
  }
  return true;
}

void SocketServer::stopListening() {
  if (!listening_) return;
  listening_ = false;
  epoll_ctl(epoll_, EPOLL_CTL_DEL, listen_, nullptr);
}

void SocketServer::resumeListening() {
  if (listening_) return;
  listening_ = true;
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = kListenerKey;
  epoll_ctl(epoll_, EPOLL_CTL_ADD, listen_, &event);
}

void SocketServer::accept(CardService& service) {
  for (;;) {
    int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
      if (refuseNewcomer()) continue;
      return;
    }
    if (fd < 0) return;
    resumeListening();
    if (refusing_) {
      refusing_ = false;
      fprintf(stderr, "txvvd: accepting connections again\n");
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    // The socket's mode keeps others out; this keeps out anyone who got hold of it anyway.
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid()) {
      ::close(fd);
      continue;
    }
    ChannelId channel;
    {
      std::lock_guard<std::mutex> hold(lock_);
      channel = next_++;
      fds_[channel] = fd;
    }
    silent_.push_back({channel, monotonicMs()});
    service.connected(channel, peer.pid);
    epoll_event event{};
    event.events = EPOLLIN | EPOLLRDHUP;
    event.data.u64 = channel;
    epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event);
  }
}

// One message per wake-up: a channel has at most one request outstanding, and the poll is
// level-triggered, so anything more comes back at once.
void SocketServer::readChannel(CardService& service, ChannelId channel) {
  {
    int fd = fdOf(channel);
    if (fd < 0) return;
    uint8_t buffer[wire::kMaxMessage + 1];
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 8)];
    iovec io{buffer, sizeof buffer};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = recvmsg(fd, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // A failed receive (a peer that hung up with a reply unread gets ECONNRESET) delivered
    // nothing: the control buffer still holds whatever the stack held, and its descriptor
    // numbers are other clients' connections by now.
    if (n < 0) message.msg_controllen = 0;
    bool passedFds = false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
        passedFds = true;
        size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t k = 0; k < count; ++k) {
          int passed;
          memcpy(&passed, CMSG_DATA(c) + k * sizeof(int), sizeof passed);
          ::close(passed);
        }
      }
    }
    // Clients have no business passing descriptors or oversized messages.
    if (n <= 0 || passedFds || (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) ||
        service.received(channel, buffer, size_t(n)) == CardService::HangUp) {
      closeChannel(service, channel);
      return;
    }
  }
}

void SocketServer::closeChannel(CardService& service, ChannelId channel) {
  int fd;
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = fds_.find(channel);
    if (found == fds_.end()) return;
    fd = found->second;
    fds_.erase(found);
  }
  epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  ::close(fd);
  service.disconnected(channel);
}

int SocketServer::fdOf(ChannelId channel) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = fds_.find(channel);
  return found == fds_.end() ? -1 : found->second;
}

bool SocketServer::send(ChannelId channel, const void* data, size_t size, int fd) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = fds_.find(channel);
  if (found == fds_.end()) return false;
  iovec io{const_cast<void*>(data), size};
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  if (fd >= 0) {
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(c), &fd, sizeof fd);
  }
  ssize_t sent;
  do {
    sent = sendmsg(found->second, &message, MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == ssize_t(size);
}

void SocketServer::hangUp(ChannelId channel) {
  std::lock_guard<std::mutex> hold(lock_);
  hangUps_.push_back(channel);
  uint64_t one = 1;
  if (write(wake_, &one, sizeof one) < 0) {
    // The loop is already awake.
  }
}

}  // namespace txvv
