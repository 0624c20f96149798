// How the card service reaches its clients: the daemon's sockets, or a recorder in tests.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace txvv {

using ChannelId = uint32_t;

class Outbox {
public:
  virtual ~Outbox() = default;
  // One whole message, with a file descriptor attached when fd >= 0. Never blocks; false when
  // the channel cannot take it.
  virtual bool send(ChannelId channel, const void* message, size_t size, int fd = -1) = 0;
  // The service has forgotten the channel; its owner closes it.
  virtual void hangUp(ChannelId channel) = 0;
};

}  // namespace txvv
