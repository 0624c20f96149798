// Reaching txvvd: connecting to its socket, starting it when none answers, and the message
// exchange on one channel.
#include "txvv_client.h"

#include <dlfcn.h>
#include <errno.h>
#include <poll.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace vexa::platform::txvv_client {

namespace {

// txvvd lives beside this library unless $VEXA_TXVVD names it.
std::string daemonBinary() {
  if (const char* named = getenv("VEXA_TXVVD"); named && *named) return named;
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&connectCard), &info) || !info.dli_fname) return {};
  std::string library = info.dli_fname;
  size_t slash = library.rfind('/');
  return slash == std::string::npos ? "txvvd" : library.substr(0, slash + 1) + "txvvd";
}

}  // namespace

int connectCard(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  strcpy(address.sun_path, path.c_str());
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int result;
  do {
    result = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    ::close(fd);
    return -1;
  }
  // Whoever answers is trusted with this process's requests and shares memory with it: only
  // a daemon of this user may (a socket named in a shared folder may be anyone's).
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid()) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

bool startDaemon(const std::string& path) {
  std::string binary = daemonBinary();
  if (binary.empty() || access(binary.c_str(), X_OK) != 0) return false;
  std::string socketPath = path;
  char* argv[] = {const_cast<char*>("txvvd"), const_cast<char*>("--on-demand"),
                  const_cast<char*>("--socket"), socketPath.data(), nullptr};
  pid_t child;
  if (posix_spawn(&child, binary.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  // The daemon's first process returns once the socket listens.
  int status = 0;
  pid_t waited;
  do {
    waited = waitpid(child, &status, 0);
  } while (waited < 0 && errno == EINTR);
  return waited != child || (WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

ssize_t receiveMessage(int fd, void* buffer, size_t size, std::vector<int>* fds) {
  iovec io{buffer, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
  msghdr message{};
  message.msg_iov = &io;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t n;
  do {
    n = recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
  } while (n < 0 && errno == EINTR);
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); n >= 0 && c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
    size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (size_t k = 0; k < count; ++k) {
      int passed;
      memcpy(&passed, CMSG_DATA(c) + k * sizeof(int), sizeof passed);
      fds->push_back(passed);
    }
  }
  if (n >= 0 && (message.msg_flags & MSG_TRUNC)) return -1;
  return n;
}

bool sendMessage(int fd, const void* data, size_t size) {
  ssize_t n;
  do {
    n = send(fd, data, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n == ssize_t(size);
}

bool greet(int fd, uint32_t role, uint64_t token, txvv::wire::Welcome* welcome,
           std::vector<int>* fds) {
  txvv::wire::Hello hello{txvv::wire::kMagic, txvv::wire::kHello, role, 0, token};
  if (!sendMessage(fd, &hello, sizeof hello)) return false;
  std::vector<int> passed;
  ssize_t n = receiveMessage(fd, welcome, sizeof *welcome, &passed);
  if (fds)
    fds->insert(fds->end(), passed.begin(), passed.end());
  else
    for (int each : passed) ::close(each);
  return n == ssize_t(sizeof *welcome) && welcome->magic == txvv::wire::kMagic &&
         welcome->type == txvv::wire::kWelcome && welcome->ok == 1;
}

}  // namespace vexa::platform::txvv_client
