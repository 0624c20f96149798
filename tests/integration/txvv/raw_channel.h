// A connection to the card's socket that speaks the wire protocol by hand, as a hostile or
// careless program would: it can pass descriptors, leave replies unread and never say hello.
#pragma once

#include "../../../txvv/wire/txvv_wire.h"

#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

class RawChannel {
public:
  explicit RawChannel(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    fd_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~RawChannel() {
    if (fd_ >= 0) close(fd_);
  }
  RawChannel(RawChannel&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  RawChannel(const RawChannel&) = delete;
  RawChannel& operator=(const RawChannel&) = delete;

  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  bool send(const void* data, size_t size, const std::vector<int>& fds = {}) {
    iovec io{const_cast<void*>(data), size};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 8)] = {};
    if (!fds.empty()) {
      message.msg_control = control;
      message.msg_controllen = CMSG_SPACE(sizeof(int) * fds.size());
      cmsghdr* c = CMSG_FIRSTHDR(&message);
      c->cmsg_level = SOL_SOCKET;
      c->cmsg_type = SCM_RIGHTS;
      c->cmsg_len = CMSG_LEN(sizeof(int) * fds.size());
      memcpy(CMSG_DATA(c), fds.data(), sizeof(int) * fds.size());
    }
    return fd_ >= 0 && sendmsg(fd_, &message, MSG_NOSIGNAL) == ssize_t(size);
  }

  // One message within timeoutMs; -1 on time-out or error, 0 when the daemon hung up.
  // Descriptors passed with it are closed.
  ssize_t receive(void* buffer, size_t size, int timeoutMs = 20000) {
    pollfd wait{fd_, POLLIN, 0};
    if (fd_ < 0 || poll(&wait, 1, timeoutMs) != 1) return -1;
    iovec io{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 8)];
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n = recvmsg(fd_, &message, MSG_CMSG_CLOEXEC);
    for (cmsghdr* c = n >= 0 ? CMSG_FIRSTHDR(&message) : nullptr; c; c = CMSG_NXTHDR(&message, c))
      for (size_t k = 0; c->cmsg_type == SCM_RIGHTS && k < (c->cmsg_len - CMSG_LEN(0)) / sizeof(int); ++k) {
        int passed;
        memcpy(&passed, CMSG_DATA(c) + k * sizeof(int), sizeof passed);
        close(passed);
      }
    return n;
  }

  // The hello of `role`; true when welcomed.
  bool hello(uint32_t role, uint64_t token = 0, int timeoutMs = 20000) {
    txvv::wire::Hello hello{txvv::wire::kMagic, txvv::wire::kHello, role, 0, token};
    txvv::wire::Welcome answer{};
    if (!send(&hello, sizeof hello) ||
        receive(&answer, sizeof answer, timeoutMs) != ssize_t(sizeof answer))
      return false;
    return answer.magic == txvv::wire::kMagic && answer.type == txvv::wire::kWelcome && answer.ok;
  }

  // A request whose reply is left where it is.
  bool request(uint32_t code, uint32_t outSize) {
    txvv::wire::RequestHeader header{txvv::wire::kMagic, txvv::wire::kRequest, code, 0, outSize};
    return send(&header, sizeof header);
  }

  // True when the daemon hangs up (or has hung up) within timeoutMs; what it sends meanwhile
  // is read and dropped.
  bool hangsUp(int timeoutMs = 20000) {
    std::vector<char> buffer(txvv::wire::kMaxStatusText + 64);
    for (;;) {
      pollfd wait{fd_, POLLIN, 0};
      if (fd_ < 0) return true;
      if (poll(&wait, 1, timeoutMs) != 1) return false;
      ssize_t n = receive(buffer.data(), buffer.size(), 0);
      if (n <= 0) return true;
    }
  }

  void hangUp() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

private:
  int fd_ = -1;
};
