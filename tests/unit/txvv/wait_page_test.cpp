// The shared wait page: the counted wake of each handle across the counter's wrap and across
// starts, and the service's side of it (cells in the welcome, doorbells, socket waits on the
// same cells).
#include "service_harness.h"

#include <gtest/gtest.h>

#include <random>

using namespace txvv;
using namespace txvv::testing;

namespace {

struct Page {
  Page() : page(std::make_unique<wire::WaitPage>()) {}
  wire::WaitCell& cell() { return page->cells[0]; }
  // Claims until none is owed; the number claimed.
  int claimAll(uint32_t* seen) {
    int claimed = 0;
    while (wire::claimOwedHalf(*page, cell(), seen)) ++claimed;
    return claimed;
  }
  std::unique_ptr<wire::WaitPage> page;
};

}  // namespace

TEST(WaitPage, OwedHalvesAreCountedAcrossTheCountersWrapAndForgottenAtAStart) {
  Page p;
  p.page->halves = 0xFFFFFFFE;
  p.page->startMark = 0xFFFFFFF0;
  p.cell().woken = 0xFFFFFFFB;
  uint32_t seen = 0;
  EXPECT_EQ(p.claimAll(&seen), 3);
  EXPECT_EQ(seen, 0xFFFFFFFEu);
  p.page->halves = 3;  // five more, past the wrap
  EXPECT_EQ(p.claimAll(&seen), 5);
  EXPECT_EQ(seen, 3u);

  // Ten halves, then a start: nothing of them is owed, only what follows.
  p.page->halves = 13;
  p.page->startMark = 13;
  EXPECT_EQ(p.claimAll(&seen), 0);
  EXPECT_EQ(seen, 13u);
  p.page->halves = 15;
  EXPECT_EQ(p.claimAll(&seen), 2);
}

TEST(WaitPage, ASleeperTakesTheHalfThatWokeItEvenWhenAStartCameMeanwhile) {
  Page p;
  p.page->halves = 100;
  p.cell().woken = 100;
  uint32_t seen = 0;
  ASSERT_FALSE(wire::claimOwedHalf(*p.page, p.cell(), &seen));
  // Woken late: three halves passed, the first was this wait's, two are still owed.
  p.page->halves = 103;
  wire::recordWake(*p.page, p.cell(), seen);
  EXPECT_EQ(p.claimAll(&seen), 2);

  // Asleep across a start at 110 and woken by the new run's first half.
  p.page->halves = 110;
  p.page->startMark = 110;
  p.page->halves = 111;
  wire::recordWake(*p.page, p.cell(), 103);
  EXPECT_EQ(p.claimAll(&seen), 0) << "the new run's first half was this wait's";
}

TEST(WaitPage, RateChangesAreReportedOnceAfterTheyHappen) {
  Page p;
  p.page->rate = 44100;
  uint32_t words[2];
  wire::waitAnswer(*p.page, p.cell(), words);
  EXPECT_EQ(words[0], 44100u);
  EXPECT_EQ(words[1], 0u);
  p.page->rate = 96000;
  p.page->rateGeneration = 1;
  wire::waitAnswer(*p.page, p.cell(), words);
  EXPECT_EQ(words[0], 96000u);
  EXPECT_EQ(words[1], 1u);
  wire::waitAnswer(*p.page, p.cell(), words);
  EXPECT_EQ(words[1], 0u);
}

namespace {

struct Welcomed {
  wire::Welcome welcome{};
  int fd = -1;
};

Welcomed welcomeOf(Harness& h, ChannelId primary) {
  Welcomed result;
  const Sent& sent = h.outbox.sent[primary].front();
  memcpy(&result.welcome, sent.bytes.data(), sizeof result.welcome);
  result.fd = sent.fd;
  return result;
}

}  // namespace

TEST(WaitPage, TheServiceSharesCellsThatItsSocketWaitsAndItsDoorbellsUse) {
  CardOptions options;
  options.rate = 48000;
  Harness h(options);
  ChannelId a = h.open();
  ChannelId b = h.open();
  Welcomed first = welcomeOf(h, a), second = welcomeOf(h, b);
  ASSERT_GE(first.fd, 0);
  ASSERT_GE(first.welcome.waitPageSize, sizeof(wire::WaitPage));
  EXPECT_NE(first.welcome.waitCell, 0u);
  EXPECT_NE(second.welcome.waitCell, first.welcome.waitCell);
  void* mapped = mmap(nullptr, first.welcome.waitPageSize, PROT_READ | PROT_WRITE, MAP_SHARED,
                      first.fd, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  auto& page = *static_cast<wire::WaitPage*>(mapped);
  wire::WaitCell& cellA = page.cells[first.welcome.waitCell - 1];

  h.openStream(a, 64);
  ASSERT_TRUE(h.call(a, IOCTL_VV_START).header.ok);
  cellA.sleepers = 1;  // as a client asleep on the doorbell
  uint32_t rung = cellA.doorbell;
  h.advance(3 * 1333334);
  EXPECT_EQ(page.halves - page.startMark, 3u);
  EXPECT_EQ(cellA.doorbell - rung, 3u) << "rung for a sleeping handle, once a half";
  cellA.sleepers = 0;

  // Two halves owed: one taken in shared memory, one through the socket; then none.
  uint32_t seen;
  EXPECT_TRUE(wire::claimOwedHalf(page, cellA, &seen));
  EXPECT_TRUE(wire::claimOwedHalf(page, cellA, &seen));
  EXPECT_TRUE(h.call(a, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8).answered);
  size_t before = h.outbox.sent[a].size();
  h.send(a, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8);
  EXPECT_FALSE(h.lastReply(a, before).answered) << "parked";
  EXPECT_FALSE(wire::claimOwedHalf(page, cellA, &seen));
  h.advance(1333334);
  EXPECT_TRUE(h.lastReply(a, before).answered);
  EXPECT_FALSE(wire::claimOwedHalf(page, cellA, &seen)) << "the parked wait took the half";

  // A freed cell goes to the back of the line.
  uint32_t freed = second.welcome.waitCell;
  h.service.disconnected(b);
  ChannelId c = h.open();
  EXPECT_NE(welcomeOf(h, c).welcome.waitCell, freed);
  munmap(mapped, first.welcome.waitPageSize);
}

TEST(WaitPage, WithTheWaitRefusedHandlesGetNoCell) {
  CardOptions options;
  options.refusedCodes.insert(IOCTL_VV_WAIT_HALF_BUFFER);
  Harness h(options);
  ChannelId a = h.open();
  Welcomed welcomed = welcomeOf(h, a);
  EXPECT_EQ(welcomed.welcome.ok, 1u);
  EXPECT_EQ(welcomed.welcome.waitCell, 0u);
  EXPECT_LT(welcomed.fd, 0);
}

// Every client maps the page read-write: whatever one writes there, the card keeps counting,
// another handle's waits stay right, and a cell and the page's own words are only numbers.
TEST(WaitPage, WhateverAClientScribblesOnThePageTheCardCarriesOn) {
  CardOptions options;
  options.rate = 48000;
  Harness h(options);
  ChannelId hostile = h.open(), other = h.open();
  Welcomed first = welcomeOf(h, hostile), second = welcomeOf(h, other);
  void* mapped = mmap(nullptr, first.welcome.waitPageSize, PROT_READ | PROT_WRITE, MAP_SHARED,
                      first.fd, 0);
  ASSERT_NE(mapped, MAP_FAILED);
  auto& page = *static_cast<wire::WaitPage*>(mapped);
  auto* cell = reinterpret_cast<uint32_t*>(&page.cells[first.welcome.waitCell - 1]);
  h.openStream(hostile, 64);
  ASSERT_TRUE(h.call(hostile, IOCTL_VV_START).header.ok);

  std::mt19937 random(20);
  uint32_t halvesBefore = page.halves;
  for (int round = 0; round < 3000; ++round) {
    for (size_t k = 0; k < sizeof(wire::WaitCell) / 4; ++k) cell[k] = random();
    if (round % 7 == 0) page.halves = random();
    if (round % 11 == 0) page.startMark = random();
    h.advance(1333334);  // a half at 48000 Hz and 64 frames
    size_t before = h.outbox.sent[hostile].size();
    h.send(hostile, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, 8);
    // Answered or parked; a parked wait is answered by the next half.
    if (!h.lastReply(hostile, before).answered) h.advance(1333334);
    ASSERT_TRUE(h.lastReply(hostile, before).answered) << "round " << round;
  }
  EXPECT_GE(page.halves - halvesBefore, 3000u);

  // The other handle was owed nothing it did not get: one wait answered at once per half.
  wire::WaitCell& otherCell = page.cells[second.welcome.waitCell - 1];
  uint32_t seen;
  while (wire::claimOwedHalf(page, otherCell, &seen)) {
  }
  h.advance(1333334);
  EXPECT_TRUE(wire::claimOwedHalf(page, otherCell, &seen));
  EXPECT_FALSE(wire::claimOwedHalf(page, otherCell, &seen));
  munmap(mapped, first.welcome.waitPageSize);
}
