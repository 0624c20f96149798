// The messages between the platform's card client and txvvd, over a SOCK_SEQPACKET Unix
// socket (one message per packet). Shared by both sides; plain fixed-size words only, so the
// 32-bit client and the daemon agree whatever they are built as.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace txvv::wire {

constexpr uint32_t kMagic = 0x56565854;  // "TXVV"

enum MessageType : uint32_t {
  kHello = 1,         // client -> daemon, first message of every channel
  kWelcome = 2,       // daemon -> client, answer to kHello
  kRequest = 3,       // client -> daemon: one DeviceIoControl
  kReply = 4,         // daemon -> client: its result
  kRegion = 5,        // daemon -> client (events channel): memory to map, fd attached
  kNotification = 6,  // daemon -> client (events channel): one meter notification
  kStatusText = 7,    // daemon -> client (status channel): the card's state as text
};

// What a channel is for. A handle is one primary channel plus any attached ones: a second
// thread of the same handle talks on its own channel, so a blocked wait never holds up others.
enum ChannelRole : uint32_t {
  kPrimary = 1,  // opens a handle; closing it closes the handle
  kAttach = 2,   // one more request channel of an open handle
  kEvents = 3,   // meter notifications of an open handle
  kStatus = 4,   // one status text, then the daemon hangs up
};

// Memory the daemon shares; addresses in replies are offsets into one of these.
enum RegionId : uint32_t { kNoRegion = 0, kStreamRegion = 1, kMeterRegion = 2 };

struct Hello {
  uint32_t magic;
  uint32_t type;  // kHello
  uint32_t role;
  uint32_t reserved;
  uint64_t token;  // kAttach, kEvents: the token of the handle's kWelcome
};

// A primary's welcome also carries the handle's cell in the wait page (wait_page.h), whose
// memory comes attached.
struct Welcome {
  uint32_t magic;
  uint32_t type;  // kWelcome
  uint32_t ok;
  uint32_t handleId;
  uint64_t token;
  uint32_t waitCell;      // kPrimary: the cell's index + 1; 0: waits go through the socket
  uint32_t waitPageSize;  // kPrimary with a cell: the size of the attached wait page
};

constexpr uint32_t kMaxRequestInput = 4096;
constexpr uint32_t kMaxRequestOutput = 4096;

struct RequestHeader {
  uint32_t magic;
  uint32_t type;  // kRequest
  uint32_t code;
  uint32_t inSize;   // bytes of input that follow the header
  uint32_t outSize;  // the caller's output buffer size
};

struct ReplyHeader {
  uint32_t magic;
  uint32_t type;  // kReply
  uint32_t ok;
  uint32_t error;     // a Win32 error code when not ok
  uint32_t bytes;     // the byte count the caller sees
  uint32_t dataSize;  // bytes of output that follow the header (at most the caller's outSize)
  uint32_t region;    // kStreamRegion: the data is a StreamConfig with region offsets
  uint32_t regionSerial;
  uint32_t regionSize;  // the region's fd is attached when non-zero
  uint32_t session;     // the meter start request: the session its notifications carry
};

struct RegionMessage {
  uint32_t magic;
  uint32_t type;  // kRegion
  uint32_t region;
  uint32_t serial;
  uint32_t size;
  uint32_t reserved;
};

struct NotificationMessage {
  uint32_t magic;
  uint32_t type;     // kNotification
  uint32_t session;  // the meter session it belongs to (from the start request's reply)
  uint32_t kind;     // 1 meter data, 2 rate change
  uint32_t slot;     // record slot; freed by the acknowledgement
  uint32_t word1;    // kind 1: offset of channel-1 block in the meter region; kind 2: rate
  uint32_t word2;    // kind 1: offset of channel-2 block
  int32_t count;     // kind 1: samples per block
};

constexpr size_t kMaxStatusText = 60000;
constexpr size_t kMaxMessage = sizeof(RequestHeader) + kMaxRequestInput;

}  // namespace txvv::wire
