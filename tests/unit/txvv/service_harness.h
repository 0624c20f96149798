// Drives the card service the way the daemon's sockets do, with a clock the test sets and an
// outbox that keeps every message.
#pragma once

#include "card/card_service.h"

#include <meter_records.h>

#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <set>
#include <vector>

namespace txvv::testing {

struct Sent {
  std::vector<uint8_t> bytes;
  bool withFd;
  int fd;  // a duplicate, when the outbox keeps them
};

class RecordingOutbox : public Outbox {
public:
  bool send(ChannelId channel, const void* message, size_t size, int fd) override {
    if (refuse.count(channel)) return false;
    const auto* bytes = static_cast<const uint8_t*>(message);
    int kept = keepFds && fd >= 0 ? dup(fd) : -1;
    if (kept >= 0) fds.push_back(kept);
    sent[channel].push_back({std::vector<uint8_t>(bytes, bytes + size), fd >= 0, kept});
    return true;
  }
  ~RecordingOutbox() override {
    for (int fd : fds) close(fd);
  }
  void hangUp(ChannelId channel) override { hungUp.insert(channel); }

  std::map<ChannelId, std::vector<Sent>> sent;
  std::set<ChannelId> hungUp;
  std::set<ChannelId> refuse;
  bool keepFds = true;
  std::vector<int> fds;
};

struct Result {
  bool answered = false;
  wire::ReplyHeader header{};
  std::vector<uint8_t> data;
  bool withFd = false;
  int fd = -1;
  uint32_t word(size_t index) const {
    uint32_t value = 0;
    if (data.size() >= 4 * (index + 1)) memcpy(&value, data.data() + 4 * index, 4);
    return value;
  }
};

class Harness {
public:
  explicit Harness(CardOptions options = {}) : service(options, outbox, [this] { return now; }) {
    std::string error;
    prepared = service.prepare(&error);
  }

  // A new channel with its hello; returns its id (0 when the service hung up).
  ChannelId open(uint32_t role = wire::kPrimary, uint64_t token = 0) {
    ChannelId id = next++;
    service.connected(id, 4242);
    wire::Hello hello{wire::kMagic, wire::kHello, role, 0, token};
    if (service.received(id, reinterpret_cast<uint8_t*>(&hello), sizeof hello) != CardService::Keep)
      return 0;
    return id;
  }
  uint64_t tokenOf(ChannelId primary) {
    wire::Welcome welcome;
    memcpy(&welcome, outbox.sent[primary].front().bytes.data(), sizeof welcome);
    return welcome.token;
  }

  CardService::Verdict send(ChannelId channel, uint32_t code, const void* in, uint32_t inSize,
                            uint32_t outSize) {
    std::vector<uint8_t> message(sizeof(wire::RequestHeader) + inSize);
    wire::RequestHeader header{wire::kMagic, wire::kRequest, code, inSize, outSize};
    memcpy(message.data(), &header, sizeof header);
    if (inSize) memcpy(message.data() + sizeof header, in, inSize);
    return service.received(channel, message.data(), message.size());
  }

  // The reply to one request, if it came at once.
  Result call(ChannelId channel, uint32_t code, const void* in = nullptr, uint32_t inSize = 0,
              uint32_t outSize = 0) {
    size_t before = outbox.sent[channel].size();
    send(channel, code, in, inSize, outSize);
    return lastReply(channel, before);
  }
  Result callWord(ChannelId channel, uint32_t code, uint32_t word) {
    return call(channel, code, &word, 4, 0);
  }
  Result lastReply(ChannelId channel, size_t before) {
    Result result;
    auto& list = outbox.sent[channel];
    if (list.size() <= before) return result;
    const Sent& sent = list.back();
    if (sent.bytes.size() < sizeof result.header) return result;
    memcpy(&result.header, sent.bytes.data(), sizeof result.header);
    result.data.assign(sent.bytes.begin() + sizeof result.header, sent.bytes.end());
    result.withFd = sent.withFd;
    result.fd = sent.fd;
    result.answered = true;
    return result;
  }
  StreamConfig openStream(ChannelId channel, uint32_t frames, Result* result = nullptr) {
    StreamConfig config{};
    config.bufferBytes = frames * 4;
    Result reply = call(channel, IOCTL_VV_OPEN_STREAM, &config, sizeof config, sizeof config);
    if (result) *result = reply;
    if (reply.data.size() == sizeof config) memcpy(&config, reply.data.data(), sizeof config);
    return config;
  }
  // The stream memory of a reply that carried it, mapped here.
  uint8_t* mapStream(const Result& reply) {
    if (reply.fd < 0) return nullptr;
    void* base = mmap(nullptr, reply.header.regionSize, PROT_READ | PROT_WRITE, MAP_SHARED, reply.fd, 0);
    return base == MAP_FAILED ? nullptr : static_cast<uint8_t*>(base);
  }
  void advance(int64_t ns) {
    now += ns;
    service.tick(now);
  }

  int64_t now = 1000000000000;  // an arbitrary monotonic time
  RecordingOutbox outbox;
  CardService service;
  bool prepared = false;
  ChannelId next = 100;
};

}  // namespace txvv::testing
