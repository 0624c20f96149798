// The card's clock under a clock the test sets: halves, the status block, counters and
// their wrap, positions and rate changes.
#include "service_harness.h"

#include <gtest/gtest.h>

using namespace txvv;
using namespace txvv::testing;

namespace {

struct Streaming {
  explicit Streaming(CardOptions options, uint32_t frames) : h(options) {
    channel = h.open();
    control = h.open(wire::kAttach, h.tokenOf(channel));
    h.openStream(channel, frames, &reply);
    base = h.mapStream(reply);
    status = reinterpret_cast<StreamStatus*>(base);
  }
  ~Streaming() {
    if (base) munmap(base, reply.header.regionSize);
  }
  // One wait, answered after `ns` of card time; false when it is still pending.
  Result waitFor(int64_t ns) {
    size_t before = h.outbox.sent[channel].size();
    h.send(channel, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8);
    h.advance(ns);
    return h.lastReply(channel, before);
  }
  Harness h;
  ChannelId channel;
  ChannelId control;  // for requests while a wait is pending on `channel`
  Result reply;
  uint8_t* base = nullptr;
  StreamStatus* status = nullptr;
};

}  // namespace

TEST(CardClock, HalvesCompleteAtTheRateWithCountsAndTimesThatWrap) {
  CardOptions options;
  options.rate = 48000;
  options.sampleCountStart = 0xFFFFFF80;
  options.msStartSet = true;
  options.msStart = 0xFFFFFFFE;
  Streaming s(options, 64);  // 64 frames at 48000 Hz: 1333333 ns per half
  ASSERT_NE(s.status, nullptr);
  ASSERT_TRUE(s.h.call(s.channel, IOCTL_VV_START).header.ok);
  EXPECT_FALSE(s.waitFor(1300000).answered) << "not a whole half yet";
  s.h.advance(40000);
  Result first = s.h.lastReply(s.channel, s.h.outbox.sent[s.channel].size() - 1);
  ASSERT_TRUE(first.answered);
  EXPECT_EQ(first.word(0), 48000u);
  EXPECT_EQ(first.word(1), 0u);
  EXPECT_EQ(s.status->completedHalves, 1u);
  EXPECT_EQ(s.status->currentHalf, 1u);
  EXPECT_EQ(s.status->halves[0].sampleCount, 0xFFFFFFC0u);
  EXPECT_EQ(s.status->halves[0].time, 0xFFFFFFFFu) << "start value + 1 ms";

  ASSERT_TRUE(s.waitFor(1333334).answered);
  EXPECT_EQ(s.status->completedHalves, 2u);
  EXPECT_EQ(s.status->currentHalf, 0u);
  EXPECT_EQ(s.status->halves[1].sampleCount, 0u) << "the count wraps";
  EXPECT_EQ(s.status->halves[1].time, 0u) << "and so does the millisecond clock";

  // Three halves pass while nobody waits: the next three waits return at once, one for each
  // missed half, and the fourth blocks until the next half.
  s.h.advance(3 * 1333334);
  EXPECT_EQ(s.status->completedHalves, 5u);
  for (int missed = 0; missed < 3; ++missed) {
    size_t before = s.h.outbox.sent[s.channel].size();
    s.h.send(s.channel, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8);
    Result late = s.h.lastReply(s.channel, before);
    ASSERT_TRUE(late.answered) << "missed half " << missed;
    EXPECT_EQ(late.word(0), 48000u);
  }
  size_t blocked = s.h.outbox.sent[s.channel].size();
  EXPECT_FALSE(s.waitFor(1300000).answered) << "caught up: waits for the next half again";
  s.h.advance(40000);
  EXPECT_TRUE(s.h.lastReply(s.channel, blocked).answered);
  EXPECT_EQ(s.status->completedHalves, 6u);
  EXPECT_EQ(s.status->halves[1].sampleCount, 0xFFFFFF80u + 6 * 64);

  // Position: the count at the last half plus the frames into the current one.
  s.h.advance(666667);
  Result position = s.h.call(s.channel, IOCTL_VV_GET_POSITION, nullptr, 0, 8);
  EXPECT_EQ(position.word(0) + position.word(1), 0xFFFFFF80u + 6 * 64 + 32);
  ASSERT_TRUE(s.h.call(s.channel, IOCTL_VV_STOP).header.ok);
  s.h.callWord(s.channel, IOCTL_VV_SET_START_POSITION, 5000);
  position = s.h.call(s.channel, IOCTL_VV_GET_POSITION, nullptr, 0, 8);
  EXPECT_EQ(position.word(0) + position.word(1), 5000u);
  EXPECT_FALSE(s.waitFor(10 * 1333334).answered) << "a stopped card completes nothing";
  ASSERT_TRUE(s.h.call(s.control, IOCTL_VV_START).header.ok);
  EXPECT_EQ(s.status->completedHalves, 0u);
  s.h.advance(1333334);
  EXPECT_EQ(s.status->completedHalves, 1u);
  EXPECT_EQ(s.status->halves[0].sampleCount, 5064u);

  // Halves missed before a restart are not owed afterwards.
  s.h.advance(2 * 1333334);
  ASSERT_TRUE(s.h.call(s.control, IOCTL_VV_STOP).header.ok);
  ASSERT_TRUE(s.h.call(s.control, IOCTL_VV_START).header.ok);
  EXPECT_FALSE(s.waitFor(1300000).answered);
}

TEST(CardClock, EachHandleIsWokenOnceForEveryHalfHoweverLateItWaits) {
  CardOptions options;
  options.rate = 48000;
  Streaming s(options, 64);
  ChannelId late = s.h.open();
  ASSERT_TRUE(s.h.call(s.channel, IOCTL_VV_START).header.ok);
  ChannelId newcomer = 0;
  auto pending = [&](ChannelId channel) {
    size_t before = s.h.outbox.sent[channel].size();
    s.h.send(channel, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8);
    return !s.h.lastReply(channel, before).answered;
  };
  // The owner waits in time for every half; `late` comes back only now and then.
  for (int half = 1; half <= 4; ++half) {
    ASSERT_TRUE(s.waitFor(1333334).answered) << half;
    if (half == 2) newcomer = s.h.open();
  }
  // The handle opened after two halves is owed only the two since it came.
  EXPECT_FALSE(pending(newcomer));
  EXPECT_FALSE(pending(newcomer));
  EXPECT_TRUE(pending(newcomer));
  ASSERT_TRUE(s.h.callWord(s.control, IOCTL_VV_SET_SAMPLE_RATE, 44100).header.ok);
  for (int missed = 0; missed < 4; ++missed) {
    size_t before = s.h.outbox.sent[late].size();
    s.h.send(late, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8);
    Result answer = s.h.lastReply(late, before);
    ASSERT_TRUE(answer.answered) << missed;
    EXPECT_EQ(answer.word(0), 44100u);
    EXPECT_EQ(answer.word(1), missed == 0 ? 1u : 0u) << "the rate change is flagged once";
  }
  EXPECT_TRUE(pending(late));
  // Two waits pending on one handle take a single half between them.
  ChannelId second = s.h.open(wire::kAttach, s.h.tokenOf(late));
  EXPECT_TRUE(pending(second));
  size_t lateBefore = s.h.outbox.sent[late].size();
  size_t secondBefore = s.h.outbox.sent[second].size();
  s.h.advance(2000000);
  EXPECT_TRUE(s.h.lastReply(late, lateBefore).answered);
  EXPECT_TRUE(s.h.lastReply(second, secondBefore).answered);
  EXPECT_TRUE(pending(late)) << "owed nothing more";
}

TEST(CardClock, RateChangesAreFlaggedToTheNextWaitOfEachHandle) {
  CardOptions options;
  options.rate = 44100;
  options.spdifRate = 48000;
  Streaming s(options, 441);  // not a multiple of 32: 448 frames
  ChannelId other = s.h.open();
  s.h.call(s.channel, IOCTL_VV_START);
  EXPECT_EQ(s.waitFor(20000000).word(1), 0u);
  ASSERT_TRUE(s.h.call(other, IOCTL_VV_SELECT_SPDIF_CLOCK).header.ok);
  Result changed = s.waitFor(20000000);
  EXPECT_EQ(changed.word(0), 48000u);
  EXPECT_EQ(changed.word(1), 1u);
  EXPECT_EQ(s.waitFor(20000000).word(1), 0u);
  // The same rate again by the internal clock: no change. A rate request always is one.
  s.h.callWord(other, IOCTL_VV_SET_SAMPLE_RATE, 48000);
  EXPECT_FALSE(s.h.callWord(other, IOCTL_VV_SET_SAMPLE_RATE, 48000).header.ok)
      << "refused while slaved";
  s.h.call(other, IOCTL_VV_SELECT_INTERNAL_CLOCK);
  EXPECT_EQ(s.waitFor(20000000).word(1), 1u) << "44100 again";
  ASSERT_TRUE(s.h.callWord(other, IOCTL_VV_SET_SAMPLE_RATE, 44100).header.ok);
  EXPECT_EQ(s.waitFor(20000000).word(1), 1u);
  for (uint32_t bad : {0u, 8000u, 44101u, 192000u})
    EXPECT_FALSE(s.h.callWord(other, IOCTL_VV_SET_SAMPLE_RATE, bad).header.ok) << bad;
}

TEST(CardClock, ScheduledSpdifChangesWhileSlavedAndNoClockWithoutInput) {
  CardOptions options;
  options.slaved = true;
  options.spdifRate = 44100;
  options.spdifChanges = {{100, 96000}, {200, 0}};
  Streaming s(options, 32);
  s.h.call(s.channel, IOCTL_VV_START);
  EXPECT_EQ(s.waitFor(50000000).word(0), 44100u);
  s.h.advance(60000000);  // the first change is due
  Result changed = s.waitFor(1000000);
  EXPECT_EQ(changed.word(0), 96000u);
  EXPECT_EQ(changed.word(1), 1u);
  s.h.advance(100000000);  // the input goes: no clock, nothing completes
  uint32_t halves = s.status->completedHalves;
  // The halves completed before are still owed to the handle; then a wait blocks.
  uint32_t owed = 0;
  size_t before = 0;
  do {
    before = s.h.outbox.sent[s.channel].size();
    s.h.send(s.channel, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8);
  } while (s.h.lastReply(s.channel, before).answered && ++owed < halves);
  EXPECT_GT(owed, 0u);
  s.h.advance(50000000);
  EXPECT_FALSE(s.h.lastReply(s.channel, before).answered);
  EXPECT_EQ(s.status->completedHalves, halves);
  EXPECT_EQ(s.h.call(s.control, IOCTL_VV_GET_SAMPLE_RATE, nullptr, 0, 4).word(0), 0u);
  s.h.call(s.control, IOCTL_VV_SELECT_INTERNAL_CLOCK);  // the card's own clock runs again
  s.h.advance(1000000);
  EXPECT_GT(s.status->completedHalves, halves);
  EXPECT_TRUE(s.h.lastReply(s.channel, before).answered);
}

TEST(CardClock, ALongSilenceOfTheClockIsNotReplayedInOneBurst) {
  Streaming s(CardOptions{}, 32);
  s.h.call(s.channel, IOCTL_VV_START);
  s.h.advance(10000000);
  uint32_t before = s.status->completedHalves;
  s.h.advance(5000000000);  // five seconds without a tick: a suspended machine
  EXPECT_LT(s.status->completedHalves - before, 1000u);
  s.h.advance(10000000);
  EXPECT_GT(s.status->completedHalves, before) << "and it goes on from there";
}

TEST(CardClock, LoopbackAndCaptureSeeWhatTheOutputPlays) {
  CardOptions options;
  SignalSetup loop;
  loop.kind = SignalSetup::Loop;
  loop.loopOutput = 1;
  options.signals[0] = loop;
  Streaming s(options, 32);
  StreamConfig config = s.h.openStream(s.channel, 32);
  auto half = [&](uint32_t offset) { return reinterpret_cast<int32_t*>(s.base + offset); };
  for (int f = 0; f < 32; ++f) half(config.outputs[1].half[0])[f] = 0x01020304 * (f + 1);
  s.h.call(s.channel, IOCTL_VV_START);
  s.h.advance(32 * 1000000000LL / 44100 + 1000);
  ASSERT_EQ(s.status->completedHalves, 1u);
  for (int f = 0; f < 32; ++f) EXPECT_EQ(half(config.inputs[0].half[0])[f], 0x01020304 * (f + 1));
  for (int f = 0; f < 32; ++f) EXPECT_EQ(half(config.inputs[1].half[0])[f], 0) << "silent input";
}
