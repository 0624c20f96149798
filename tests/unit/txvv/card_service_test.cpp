// What the card service makes of each message: the hello and channel rules, request sizes,
// the stream claim and the nearest buffer size, handles closing with their channels.
#include "service_harness.h"

#include <gtest/gtest.h>

using namespace txvv;
using namespace txvv::testing;

TEST(CardService, MalformedOrMisplacedMessagesEndOnlyThatChannel) {
  Harness h;
  ChannelId good = h.open();
  ASSERT_NE(good, 0u);

  ChannelId c = h.next++;
  h.service.connected(c, 1);
  uint8_t junk[3] = {1, 2, 3};
  EXPECT_EQ(h.service.received(c, junk, sizeof junk), CardService::HangUp) << "short hello";

  c = h.next++;
  h.service.connected(c, 1);
  wire::Hello wrongMagic{0x12345678, wire::kHello, wire::kPrimary, 0, 0};
  EXPECT_EQ(h.service.received(c, reinterpret_cast<uint8_t*>(&wrongMagic), sizeof wrongMagic),
            CardService::HangUp);

  c = h.next++;
  h.service.connected(c, 1);
  EXPECT_EQ(h.send(c, IOCTL_VV_GET_VERSION, nullptr, 0, 4), CardService::HangUp)
      << "a request before the hello";

  EXPECT_EQ(h.open(wire::kAttach, 0xBAD), 0u) << "an attach with a token nobody has";
  EXPECT_EQ(h.open(77), 0u) << "an unknown role";

  ChannelId primary = h.open();
  wire::RequestHeader lying{wire::kMagic, wire::kRequest, IOCTL_VV_GET_VERSION, 8, 4};
  EXPECT_EQ(h.service.received(primary, reinterpret_cast<uint8_t*>(&lying), sizeof lying),
            CardService::HangUp) << "input size larger than the message";
  wire::RequestHeader huge{wire::kMagic, wire::kRequest, IOCTL_VV_GET_VERSION, 0, 1u << 20};
  ChannelId other = h.open();
  EXPECT_EQ(h.service.received(other, reinterpret_cast<uint8_t*>(&huge), sizeof huge),
            CardService::HangUp) << "output size beyond the protocol";

  ChannelId events = h.open(wire::kEvents, h.tokenOf(good));
  ASSERT_NE(events, 0u);
  EXPECT_EQ(h.open(wire::kEvents, h.tokenOf(good)), 0u) << "one events channel per handle";
  EXPECT_EQ(h.send(events, IOCTL_VV_GET_VERSION, nullptr, 0, 4), CardService::HangUp)
      << "requests do not travel on the events channel";

  Result version = h.call(good, IOCTL_VV_GET_VERSION, nullptr, 0, 4);
  ASSERT_TRUE(version.answered);
  EXPECT_TRUE(version.header.ok) << "the well-behaved handle is untouched";
  EXPECT_EQ(version.header.bytes, 4u);
  EXPECT_EQ(version.word(0), 0u);
}

TEST(CardService, RequestsWithWrongSizesOrCodesFailAndKeepTheConnection) {
  Harness h;
  ChannelId c = h.open();
  Result unknown = h.call(c, 0x220000, nullptr, 0, 4);
  EXPECT_FALSE(unknown.header.ok);
  EXPECT_EQ(unknown.header.error, uint32_t(ERROR_INVALID_FUNCTION));
  Result small = h.call(c, IOCTL_VV_GET_VERSION, nullptr, 0, 2);
  EXPECT_FALSE(small.header.ok);
  EXPECT_EQ(small.header.error, uint32_t(ERROR_INSUFFICIENT_BUFFER));
  Result noRate = h.call(c, IOCTL_VV_SET_SAMPLE_RATE, nullptr, 0, 0);
  EXPECT_EQ(noRate.header.error, uint32_t(ERROR_INVALID_PARAMETER));
  StreamConfig shortConfig{};
  EXPECT_FALSE(h.call(c, IOCTL_VV_OPEN_STREAM, &shortConfig, 600, 660).header.ok);
  Result route = h.callWord(c, IOCTL_LLVA_SET_ROUTE, 5);
  EXPECT_FALSE(route.header.ok);
  uint32_t record[5] = {0x1234, 1, 2, 3, 4};
  EXPECT_FALSE(h.call(c, IOCTL_LLVA_EXCHANGE_RECORD, record, 20).header.ok)
      << "the record must name its request";
  record[0] = IOCTL_LLVA_EXCHANGE_RECORD;
  Result exchanged = h.call(c, IOCTL_LLVA_EXCHANGE_RECORD, record, 20);
  EXPECT_TRUE(exchanged.header.ok);
  EXPECT_EQ(exchanged.header.bytes, 20u);
  EXPECT_TRUE(h.call(c, IOCTL_VV_GET_VERSION, nullptr, 0, 4).header.ok);
}

TEST(CardService, OpenStreamSetsTheNearestSupportedSizeAndOnlyOneHandleHoldsIt) {
  Harness h;
  ChannelId a = h.open(), b = h.open();
  Result reply;
  StreamConfig config = h.openStream(a, 0, &reply);
  EXPECT_TRUE(reply.header.ok);
  EXPECT_EQ(reply.header.bytes, 660u);
  EXPECT_TRUE(reply.withFd) << "the stream memory travels with the reply";
  EXPECT_EQ(reply.header.region, uint32_t(wire::kStreamRegion));
  EXPECT_EQ(config.bufferBytes, 32u * 4) << "below the minimum: the minimum";
  EXPECT_EQ(config.minBufferSize, 32u);
  EXPECT_EQ(config.numInputs, 4u);
  EXPECT_EQ(config.numOutputs, 4u);
  // Every half lies inside the region and apart from the status block and each other.
  std::set<uint32_t> halves;
  for (uint32_t i = 0; i < 4; ++i)
    for (uint32_t half : {config.inputs[i].half[0], config.inputs[i].half[1],
                          config.outputs[i].half[0], config.outputs[i].half[1]}) {
      EXPECT_GE(half, 24u);
      EXPECT_LE(half + 32768u * 4, reply.header.regionSize);
      halves.insert(half);
    }
  EXPECT_EQ(halves.size(), 16u);
  EXPECT_EQ(h.openStream(a, 100).bufferBytes, 100u * 4) << "again on the owner: a new size";
  EXPECT_EQ(h.openStream(a, 16).bufferBytes, 32u * 4);
  EXPECT_EQ(h.openStream(a, 100000).bufferBytes, 32768u * 4);

  h.openStream(b, 64, &reply);
  EXPECT_FALSE(reply.header.ok) << "another handle holds it";
  EXPECT_FALSE(h.callWord(b, IOCTL_VV_SET_BUFFERS, 64 * 4).header.ok);
  EXPECT_FALSE(h.call(b, IOCTL_VV_START).header.ok);

  // One size rule: the buffer request sets what a claim of the same size sets, the size asked
  // for within the smallest and the largest half.
  const uint32_t sizes[][2] = {{0, 32},        {16 * 4, 32},  {48 * 4, 48},      {64 * 4 + 2, 64},
                               {100 * 4, 100}, {112 * 4, 112}, {32800 * 4, 32768}, {32768 * 4, 32768}};
  for (const auto& [bytes, frames] : sizes) {
    Result buffers = h.call(a, IOCTL_VV_SET_BUFFERS, &bytes, 4, 660);
    ASSERT_TRUE(buffers.header.ok) << bytes;
    EXPECT_EQ(buffers.header.bytes, 660u);
    StreamConfig set;
    memcpy(&set, buffers.data.data(), sizeof set);
    EXPECT_EQ(set.bufferBytes, frames * 4) << bytes;
    EXPECT_EQ(h.openStream(a, bytes / 4).bufferBytes, frames * 4) << bytes;
    EXPECT_GE(set.inputs[0].half[1] - set.inputs[0].half[0],
              std::min(std::max(bytes & ~3u, frames * 4), 32768u * 4));
  }

  h.service.disconnected(a);  // the handle closes: the stream is free
  h.openStream(b, 64, &reply);
  EXPECT_TRUE(reply.header.ok);
}

TEST(CardService, ClosingAHandleHangsUpItsOtherChannelsAndEndsTheirWaits) {
  Harness h;
  ChannelId primary = h.open();
  ChannelId second = h.open(wire::kAttach, h.tokenOf(primary));
  ASSERT_NE(second, 0u);
  EXPECT_EQ(h.send(second, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8), CardService::Keep);
  EXPECT_EQ(h.send(second, IOCTL_VV_GET_VERSION, nullptr, 0, 4), CardService::HangUp)
      << "one request at a time per channel";
  ChannelId third = h.open(wire::kAttach, h.tokenOf(primary));
  EXPECT_EQ(h.send(third, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8), CardService::Keep);
  h.service.disconnected(primary);
  EXPECT_TRUE(h.outbox.hungUp.count(third));
  EXPECT_EQ(h.service.handleCount(), 0u);
  EXPECT_EQ(h.send(third, IOCTL_VV_GET_VERSION, nullptr, 0, 4), CardService::HangUp);
}

TEST(CardService, StatusNamesTheOwnerRateClockAndMeterClients) {
  CardOptions options;
  options.rate = 48000;
  options.spdifPresent = false;
  Harness h(options);
  ChannelId c = h.open();
  h.openStream(c, 64);
  std::string status = h.service.statusText();
  EXPECT_NE(status.find("rate: 48000 Hz"), std::string::npos) << status;
  EXPECT_NE(status.find("S/PDIF input absent"), std::string::npos) << status;
  EXPECT_NE(status.find("stream: owned by handle 1 (pid 4242), 64 frames, stopped"), std::string::npos) << status;
  EXPECT_NE(status.find("clients: 1"), std::string::npos);
  h.call(c, IOCTL_VV_SELECT_SPDIF_CLOCK);
  EXPECT_NE(h.service.statusText().find("rate: no clock"), std::string::npos);
}
