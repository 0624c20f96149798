#include "status_client.h"

#include "../wire/txvv_wire.h"

#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <vector>

namespace txvv {

int printStatus(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    fprintf(stderr, "txvvd: no card answers at %s\n", path.c_str());
    if (fd >= 0) close(fd);
    return 1;
  }
  wire::Hello hello{wire::kMagic, wire::kHello, wire::kStatus, 0, 0};
  std::vector<char> buffer(wire::kMaxStatusText + 64);
  pollfd wait{fd, POLLIN, 0};
  ssize_t n = -1;
  if (send(fd, &hello, sizeof hello, MSG_NOSIGNAL) == ssize_t(sizeof hello) && poll(&wait, 1, 5000) == 1)
    n = recv(fd, buffer.data(), buffer.size(), 0);
  close(fd);
  uint32_t head[2] = {};
  if (n >= 8) memcpy(head, buffer.data(), 8);
  if (n < 8 || head[0] != wire::kMagic || head[1] != wire::kStatusText) {
    fprintf(stderr, "txvvd: the card at %s did not answer\n", path.c_str());
    return 1;
  }
  printf("txvvd at %s\n%.*s", path.c_str(), int(n - 8), buffer.data() + 8);
  return 0;
}

}  // namespace txvv
