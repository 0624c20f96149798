// txvvd's sockets: the listening socket, one SOCK_SEQPACKET connection per client channel,
// and the loop that hands each message to the card service.
#pragma once

#include "../card/card_service.h"
#include "../card/outbox.h"

#include <sys/un.h>

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace txvv {

class SocketServer : public Outbox {
public:
  explicit SocketServer(std::string path);
  ~SocketServer() override;

  // Takes the socket's lock file and binds. Returns 1 when another daemon already serves the
  // path, -1 with *error set on failure, 0 when listening.
  int listen(std::string* error);
  // Serves until a signal in `signals` (a signalfd) arrives, or, with lingerMs >= 0, until
  // no handle has been open for that long.
  void run(CardService& service, int signalFd, int lingerMs);
  void removeSocket();

  bool send(ChannelId channel, const void* message, size_t size, int fd) override;
  void hangUp(ChannelId channel) override;

private:
  bool staleSocket(const sockaddr_un& address, std::string* error);
  void accept(CardService& service);
  bool refuseNewcomer();
  void stopListening();
  void resumeListening();
  void closeSilentChannels(CardService& service);
  void readChannel(CardService& service, ChannelId channel);
  void closeChannel(CardService& service, ChannelId channel);
  int fdOf(ChannelId channel);

  std::string path_;
  int listen_ = -1;
  int lockFd_ = -1;
  int epoll_ = -1;
  int wake_ = -1;
  int reserve_ = -1;  // a descriptor kept back for refusing connections when none are left
  bool refusing_ = false;   // out of descriptors since the last connection accepted
  bool listening_ = true;   // false while not even the reserve is left
  std::mutex lock_;
  std::map<ChannelId, int> fds_;
  std::vector<ChannelId> hangUps_;
  // Connections in the order they came, until their hello is due.
  struct Arrival {
    ChannelId channel;
    int64_t since;
  };
  std::deque<Arrival> silent_;
  ChannelId next_ = 16;
};

}  // namespace txvv
