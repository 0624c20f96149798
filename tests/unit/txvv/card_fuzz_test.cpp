// Throws random and mutated messages at the card service, as hostile clients would, while the
// card's clock runs on and the clients scribble over the memory they share with it. Nothing
// may crash; every reply must be well formed; a well-behaved client must be served afterwards.
// TXVV_FUZZ_MESSAGES sets the messages per seed (the sanitizer build runs fewer).
#include "service_harness.h"

#include "wire/meter_region.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <random>

using namespace txvv;
using namespace txvv::testing;

namespace {

const uint32_t kCodes[] = {
    IOCTL_VV_GET_VERSION, IOCTL_VV_OPEN_STREAM, IOCTL_VV_START, IOCTL_VV_STOP,
    IOCTL_VV_SET_SAMPLE_RATE, IOCTL_VV_GET_SAMPLE_RATE, IOCTL_VV_SET_BUFFERS,
    IOCTL_VV_SELECT_SPDIF_CLOCK, IOCTL_VV_SELECT_INTERNAL_CLOCK, IOCTL_VV_GET_CLOCK_MODE,
    IOCTL_VV_WAIT_HALF_BUFFER, IOCTL_VV_GET_POSITION, IOCTL_VV_SET_START_POSITION,
    IOCTL_LLVA_GET_INFO, IOCTL_LLVA_SET_ROUTE, IOCTL_LLVA_START, IOCTL_LLVA_STOP,
    IOCTL_LLVA_ACKNOWLEDGE, IOCTL_LLVA_ENGAGE_SLAVE, IOCTL_LLVA_DISABLE_SLAVE,
    IOCTL_LLVA_GET_SLAVE_STATUS, IOCTL_LLVA_UNPLUG_CARD, IOCTL_LLVA_GET_CARD_STATE,
    IOCTL_LLVA_GET_ROUTE, IOCTL_LLVA_SET_SAMPLE_RATE, IOCTL_LLVA_EXCHANGE_RECORD};
const uint32_t kWords[] = {0, 1, 4, 5, 32, 64, 128, 130, 4096, 32768 * 4, 131076, 44100,
                           48000, 96000, 9600, 8000, 0x2200E0, 0x7FFFFFFF, 0xFFFFFFFF};

class Fuzzer {
public:
  explicit Fuzzer(uint32_t seed) : random_(seed) {}
  ~Fuzzer() {
    for (auto& [base, size] : shared_) munmap(base, size);
  }

  void run(size_t messages) {
    for (size_t n = 0; n < messages; ++n) {
      if (live_.size() < 2 || pick(8) == 0) openChannel();
      if (pick(20) == 0) closeChannel();
      while (live_.empty()) openChannel();
      if (pick(4) == 0) h_.advance(int64_t(pick(3000000)));
      ChannelId channel = live_[pick(uint32_t(live_.size()))];
      std::vector<uint8_t> message = makeMessage();
      size_t before = h_.outbox.sent[channel].size();
      if (h_.service.received(channel, message.data(), message.size()) == CardService::HangUp) {
        forget(channel);
        ++hangUps_;
      }
      checkReplies(channel, before, message);
      takeSharedMemory();
      if (pick(8) == 0) scribble();
      ++sent_;
    }
  }

  void checkWellBehavedClientIsServed() {
    for (ChannelId channel : live_) h_.service.disconnected(channel);
    live_.clear();
    EXPECT_EQ(h_.service.handleCount(), 0u);
    ChannelId c = h_.open();
    ASSERT_NE(c, 0u);
    Result version = h_.call(c, IOCTL_VV_GET_VERSION, nullptr, 0, 4);
    EXPECT_TRUE(version.header.ok);
    EXPECT_EQ(version.word(0), 0u);
    Result stream;
    h_.openStream(c, 64, &stream);
    EXPECT_TRUE(stream.header.ok) << "every claim went with its handle";
  }

  size_t sent() const { return sent_; }
  // The mix reached every kind of outcome, or the test proves little.
  void checkCoverage() {
    EXPECT_GT(succeeded_, sent_ / 20);
    EXPECT_GT(refused_, sent_ / 20);
    EXPECT_GT(hangUps_, sent_ / 20);
  }

private:
  uint32_t pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_); }

  void openChannel() {
    if (live_.size() >= 24) return;
    uint32_t role = pick(10) == 0 ? pick(6) : (pick(3) == 0 ? wire::kAttach : wire::kPrimary);
    uint64_t token = tokens_.empty() || pick(5) == 0 ? random_() : tokens_[pick(uint32_t(tokens_.size()))];
    if (pick(3) == 0) role = wire::kEvents;
    ChannelId id = h_.open(role, token);
    if (id == 0) return;
    live_.push_back(id);
    if (role == wire::kPrimary) tokens_.push_back(h_.tokenOf(id));
  }

  void closeChannel() {
    if (live_.empty()) return;
    size_t at = pick(uint32_t(live_.size()));
    h_.service.disconnected(live_[at]);
    live_.erase(live_.begin() + long(at));
  }

  void forget(ChannelId channel) { std::erase(live_, channel); }

  std::vector<uint8_t> validRequest() {
    uint32_t code = kCodes[pick(sizeof kCodes / 4)];
    uint32_t inSize = pick(4) == 0 ? pick(700) : (code == IOCTL_VV_OPEN_STREAM ? 660 : pick(3) * 4 + (pick(2) ? 8 : 0));
    if (code == IOCTL_LLVA_EXCHANGE_RECORD && pick(2)) inSize = 20;
    uint32_t outSize = pick(4) == 0 ? pick(wire::kMaxRequestOutput + 1) : (pick(2) ? 660 : pick(3) * 4 + 4);
    std::vector<uint8_t> message(sizeof(wire::RequestHeader) + inSize);
    wire::RequestHeader header{wire::kMagic, wire::kRequest, code, inSize, outSize};
    memcpy(message.data(), &header, sizeof header);
    for (uint32_t i = 0; i + 4 <= inSize; i += 4) {
      uint32_t word = pick(2) ? kWords[pick(sizeof kWords / 4)] : uint32_t(random_());
      if (i == 0 && code == IOCTL_LLVA_EXCHANGE_RECORD && pick(2)) word = code;
      memcpy(message.data() + sizeof header + i, &word, 4);
    }
    return message;
  }

  std::vector<uint8_t> makeMessage() {
    std::vector<uint8_t> message;
    switch (pick(10)) {
      case 0: {  // noise
        message.resize(pick(5000));
        for (auto& byte : message) byte = uint8_t(random_());
        return message;
      }
      case 1: {  // a hello where a request belongs, or a second hello
        wire::Hello hello{wire::kMagic, wire::kHello, pick(6), 0, random_()};
        message.resize(sizeof hello);
        memcpy(message.data(), &hello, sizeof hello);
        return message;
      }
      case 2:
      case 3: {  // a request, mutated
        message = validRequest();
        int flips = 1 + int(pick(4));
        for (int i = 0; i < flips && !message.empty(); ++i) message[pick(uint32_t(message.size()))] = uint8_t(random_());
        if (pick(3) == 0) message.resize(pick(uint32_t(message.size()) + 8));
        return message;
      }
      default:
        return validRequest();
    }
  }

  // The wait page and the meter memory, as a client maps them; every other descriptor the
  // service passed is closed at once.
  void takeSharedMemory() {
    for (int fd : h_.outbox.fds) {
      char link[64] = {};
      std::string self = "/proc/self/fd/" + std::to_string(fd);
      ssize_t n = readlink(self.c_str(), link, sizeof link - 1);
      std::string name(link, n > 0 ? size_t(n) : 0);
      bool page = name.find("txvv-waits") != std::string::npos && !page_;
      struct stat info {};
      if ((page || name.find("txvv-meter") != std::string::npos) && fstat(fd, &info) == 0) {
        void* base = mmap(nullptr, size_t(info.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (base != MAP_FAILED) {
          if (page) page_ = static_cast<wire::WaitPage*>(base);
          shared_.push_back({static_cast<uint8_t*>(base), size_t(info.st_size)});
        }
      }
      close(fd);
    }
    h_.outbox.fds.clear();
    // Meter memory of handles long closed is of no more use.
    while (shared_.size() > 8) {
      size_t oldest = shared_.front().first == reinterpret_cast<uint8_t*>(page_) ? 1 : 0;
      munmap(shared_[oldest].first, shared_[oldest].second);
      shared_.erase(shared_.begin() + long(oldest));
    }
  }

  // Random words anywhere in the page's cells and counters, and in the acknowledgement counts.
  void scribble() {
    if (shared_.empty()) return;
    auto& [base, size] = shared_[pick(uint32_t(shared_.size()))];
    auto* words = reinterpret_cast<uint32_t*>(base);
    bool page = base == reinterpret_cast<uint8_t*>(page_);
    for (int k = int(pick(6)); k >= 0; --k) {
      size_t word = page ? pick(uint32_t(size / 4)) : pick(sizeof(wire::MeterRegionHead) / 4);
      words[word] = pick(2) ? uint32_t(random_()) : words[word] + pick(3);
    }
  }

  // Every answer the service sent is a well-formed reply within the asked output size.
  void checkReplies(ChannelId channel, size_t before, const std::vector<uint8_t>& message) {
    auto& sent = h_.outbox.sent[channel];
    wire::RequestHeader request{};
    if (message.size() >= sizeof request) memcpy(&request, message.data(), sizeof request);
    for (size_t i = before; i < sent.size(); ++i) {
      const auto& bytes = sent[i].bytes;
      ASSERT_GE(bytes.size(), 8u);
      uint32_t head[2];
      memcpy(head, bytes.data(), 8);
      ASSERT_EQ(head[0], wire::kMagic);
      if (head[1] != wire::kReply) continue;
      wire::ReplyHeader reply;
      ASSERT_GE(bytes.size(), sizeof reply);
      memcpy(&reply, bytes.data(), sizeof reply);
      ASSERT_EQ(bytes.size(), sizeof reply + reply.dataSize);
      ++(reply.ok ? succeeded_ : refused_);
      if (request.type == wire::kRequest && request.code != IOCTL_VV_WAIT_HALF_BUFFER) {
        ASSERT_LE(reply.dataSize, request.outSize);
      }
    }
    if (sent.size() > 64) sent.erase(sent.begin(), sent.end() - 8);
  }

  Harness h_;
  std::mt19937 random_;
  wire::WaitPage* page_ = nullptr;
  std::vector<std::pair<uint8_t*, size_t>> shared_;  // the page first, then meter memories
  std::vector<ChannelId> live_;
  std::vector<uint64_t> tokens_;
  size_t sent_ = 0;
  size_t succeeded_ = 0, refused_ = 0, hangUps_ = 0;
};

}  // namespace

TEST(CardFuzz, HostileMessagesAndScribblesNeverBreakTheCard) {
  const char* count = getenv("TXVV_FUZZ_MESSAGES");
  size_t messages = count && atol(count) > 0 ? size_t(atol(count)) : 30000;
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    Fuzzer fuzzer(seed);
    fuzzer.run(messages);
    EXPECT_EQ(fuzzer.sent(), messages);
    fuzzer.checkCoverage();
    fuzzer.checkWellBehavedClientIsServed();
  }
}
