// Meter delivery in the card service: the start request, block slots held until their
// acknowledgement, lost blocks, rate changes that wait for a free record.
#include "service_harness.h"

#include <wire/meter_region.h>

#include <gtest/gtest.h>

#include <string.h>
#include <sys/mman.h>

using namespace txvv;
using namespace txvv::testing;

namespace {

struct Metering {
  explicit Metering(CardOptions options) : h(options) {
    primary = h.open();
    events = h.open(wire::kEvents, h.tokenOf(primary));
  }
  Result start() {
    MeterStartRecord record{0x401000, 0x12345678};
    return h.call(primary, IOCTL_LLVA_START, &record, sizeof record);
  }
  std::vector<wire::NotificationMessage> notifications() {
    std::vector<wire::NotificationMessage> list;
    for (const Sent& sent : h.outbox.sent[events]) {
      wire::NotificationMessage message;
      if (sent.bytes.size() != sizeof message) continue;
      memcpy(&message, sent.bytes.data(), sizeof message);
      if (message.type == wire::kNotification) list.push_back(message);
    }
    return list;
  }
  void acknowledge() { h.call(primary, IOCTL_LLVA_ACKNOWLEDGE); }
  Harness h;
  ChannelId primary, events;
};

int64_t blockNs(uint32_t frames, uint32_t rate) { return int64_t(frames) * 1000000000 / rate + 1; }

}  // namespace

TEST(CardMeterDelivery, StartNeedsANotificationChannelAndSendsTheBlockMemoryFirst) {
  CardOptions options;
  options.meterBlockFrames = 256;
  Harness plain(options);
  ChannelId lonely = plain.open();
  MeterStartRecord record{1, 2};
  EXPECT_FALSE(plain.call(lonely, IOCTL_LLVA_START, &record, sizeof record).header.ok);

  Metering m(options);
  Result started = m.start();
  ASSERT_TRUE(started.header.ok);
  EXPECT_NE(started.header.session, 0u);
  ASSERT_EQ(m.h.outbox.sent[m.events].size(), 2u) << "the welcome, then the block memory";
  const Sent& region = m.h.outbox.sent[m.events][1];
  EXPECT_TRUE(region.withFd);
  ASSERT_EQ(region.bytes.size(), sizeof(wire::RegionMessage));
  EXPECT_TRUE(m.notifications().empty()) << "nothing before a block is full";

  m.h.advance(blockNs(256, 44100));
  auto list = m.notifications();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].kind, 1u);
  EXPECT_EQ(list[0].count, 256);
  EXPECT_EQ(list[0].session, started.header.session);
  EXPECT_EQ(list[0].word2 - list[0].word1, 256u * 4);
}

TEST(CardMeterDelivery, TheDefaultBlockIsATwentyFifthOfASecondAtTheCurrentRate) {
  CardOptions options;
  options.rate = 96000;
  Metering m(options);
  ASSERT_TRUE(m.start().header.ok);
  wire::RegionMessage region;
  memcpy(&region, m.h.outbox.sent[m.events][1].bytes.data(), sizeof region);
  m.h.advance(blockNs(3840, 96000));
  // Half a block in, the rate falls: that partial block is dropped, and the next is smaller.
  m.h.advance(blockNs(1920, 96000));
  ASSERT_TRUE(m.h.callWord(m.primary, IOCTL_LLVA_SET_SAMPLE_RATE, 9600).header.ok);
  EXPECT_NE(m.h.service.statusText().find("blocks of 384 frames"), std::string::npos);
  m.h.advance(blockNs(384, 9600));
  auto list = m.notifications();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].count, 3840);
  EXPECT_EQ(list[1].kind, 2u);
  EXPECT_EQ(list[2].count, 384);
  // The small block lies in memory of its own, clear of the large one the client still holds.
  for (uint32_t start : {list[2].word1, list[2].word2}) {
    EXPECT_LE(start + 384u * 4, region.size);
    EXPECT_TRUE(start >= list[0].word2 + 3840u * 4 || start + 384u * 4 <= list[0].word1) << start;
  }

  // An odd S/PDIF rate cannot take the block outside 32..8192; a fixed size ignores the rate.
  EXPECT_EQ(meterBlockFramesAt(options, 400), 32u);
  EXPECT_EQ(meterBlockFramesAt(options, 400000), 8192u);
  options.meterBlockFrames = 256;
  Metering fixed(options);
  fixed.start();
  fixed.h.callWord(fixed.primary, IOCTL_LLVA_SET_SAMPLE_RATE, 9600);
  fixed.h.advance(blockNs(256, 9600));
  auto blocks = fixed.notifications();
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[1].count, 256);
}

TEST(CardMeterDelivery, SlotsWaitForTheirAcknowledgementAndBlocksAreLostMeanwhile) {
  CardOptions options;
  options.meterBlockFrames = 128;
  options.meterSlots = 3;
  Metering m(options);
  m.start();
  m.h.advance(10 * blockNs(128, 44100));
  auto list = m.notifications();
  ASSERT_EQ(list.size(), 3u);
  std::set<uint32_t> slots;
  for (const auto& note : list) slots.insert(note.slot);
  EXPECT_EQ(slots.size(), 3u) << "each block in a slot of its own";
  EXPECT_NE(m.h.service.statusText().find("7 lost"), std::string::npos) << m.h.service.statusText();

  m.acknowledge();  // frees the oldest: the next block takes its slot
  m.h.advance(blockNs(128, 44100));
  list = m.notifications();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[3].slot, list[0].slot);
  m.h.advance(blockNs(128, 44100));
  EXPECT_EQ(m.notifications().size(), 4u);

  ASSERT_TRUE(m.h.call(m.primary, IOCTL_LLVA_STOP).header.ok);
  m.h.advance(10 * blockNs(128, 44100));
  EXPECT_EQ(m.notifications().size(), 4u) << "nothing after the stop request";
  EXPECT_TRUE(m.h.call(m.primary, IOCTL_LLVA_ACKNOWLEDGE).header.ok) << "a late acknowledgement is harmless";
  Result again = m.start();
  EXPECT_NE(again.header.session, 0u);
  m.h.advance(blockNs(128, 44100));
  list = m.notifications();
  ASSERT_EQ(list.size(), 5u) << "a new session starts with every slot free";
  EXPECT_EQ(list[4].session, again.header.session);
}

TEST(CardMeterDelivery, AcknowledgementsCountedInTheBlockMemoryFreeTheOldestSlotsAndNoMore) {
  CardOptions options;
  options.meterBlockFrames = 128;
  options.meterSlots = 3;
  Metering m(options);
  m.start();
  const Sent& sent = m.h.outbox.sent[m.events][1];
  wire::RegionMessage region;
  ASSERT_EQ(sent.bytes.size(), sizeof region);
  memcpy(&region, sent.bytes.data(), sizeof region);
  void* memory = mmap(nullptr, region.size, PROT_READ | PROT_WRITE, MAP_SHARED, sent.fd, 0);
  ASSERT_NE(memory, MAP_FAILED);
  auto& head = *static_cast<wire::MeterRegionHead*>(memory);

  m.h.advance(10 * blockNs(128, 44100));
  auto list = m.notifications();
  ASSERT_EQ(list.size(), 3u);
  for (const auto& note : list) EXPECT_GE(note.word1, wire::kMeterBlocksOffset) << "blocks follow the head";

  head.acknowledged.fetch_add(1);
  m.h.advance(blockNs(128, 44100));
  list = m.notifications();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[3].slot, list[0].slot) << "the oldest slot was freed";

  // More than are outstanding frees the three in use, and the surplus is not kept for later.
  head.acknowledged.fetch_add(100);
  m.h.advance(10 * blockNs(128, 44100));
  EXPECT_EQ(m.notifications().size(), 7u);
  munmap(memory, region.size);
}

TEST(CardMeterDelivery, RateChangesWaitForAFreeRecordAndTheLatestRateWins) {
  CardOptions options;
  options.meterBlockFrames = 8192;
  Metering m(options);
  m.start();
  for (uint32_t rate : {48000u, 96000u, 32000u, 22050u, 88200u, 24000u})
    ASSERT_TRUE(m.h.callWord(m.primary, IOCTL_LLVA_SET_SAMPLE_RATE, rate).header.ok);
  auto list = m.notifications();
  ASSERT_EQ(list.size(), 4u) << "four rate records, then the rest waits";
  EXPECT_EQ(list[0].kind, 2u);
  EXPECT_EQ(list[0].word1, 48000u);
  EXPECT_EQ(list[3].word1, 22050u);
  m.acknowledge();
  list = m.notifications();
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[4].word1, 24000u) << "the pending change carries the current rate";
  m.acknowledge();
  EXPECT_EQ(m.notifications().size(), 5u);
}

TEST(CardMeterDelivery, ANotificationChannelThatCannotTakeMoreLosesBlocksOnly) {
  CardOptions options;
  options.meterBlockFrames = 64;
  Metering m(options);
  m.start();
  m.h.outbox.refuse.insert(m.events);
  m.h.advance(5 * blockNs(64, 44100));
  EXPECT_TRUE(m.notifications().empty());
  m.h.outbox.refuse.clear();
  m.h.advance(blockNs(64, 44100));
  EXPECT_EQ(m.notifications().size(), 1u);
  EXPECT_TRUE(m.h.call(m.primary, IOCTL_VV_GET_VERSION, nullptr, 0, 4).header.ok);
}

TEST(CardMeterDelivery, InformationRecordAndCardRequests) {
  CardOptions options;
  options.rate = 32000;
  Metering m(options);
  Result info = m.h.call(m.primary, IOCTL_LLVA_GET_INFO, nullptr, 0, 48);
  ASSERT_EQ(info.header.bytes, 48u);
  EXPECT_NE(info.word(1), 0u);
  EXPECT_EQ(info.word(2), 0u);
  EXPECT_EQ(info.word(6), 32000u);
  EXPECT_EQ(m.h.call(m.primary, IOCTL_LLVA_GET_CARD_STATE, nullptr, 0, 4).word(0), 0u);
  EXPECT_TRUE(m.h.call(m.primary, IOCTL_LLVA_UNPLUG_CARD).header.ok);
  EXPECT_EQ(m.h.call(m.primary, IOCTL_LLVA_GET_CARD_STATE, nullptr, 0, 4).word(0), 2u);

  options.unsupportedHardware = true;
  Metering odd(options);
  EXPECT_NE(odd.h.call(odd.primary, IOCTL_LLVA_GET_INFO, nullptr, 0, 48).word(2), 0u);
}
