// The driver side's road through txvvd: version, stream claim, buffers, start, half-buffer
// waits with the status block, loopback, and a wait ended by closing its handle.
#include "card_fixture.h"
#include "card_test_support.h"

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>
#include <vector>

using vexa::testing::CardDaemon;

TEST(CardStream, HalvesAlternateAndCountFromStartWithSampleCountsThatWrap) {
  CardDaemon card({"--rate", "48000", "--sample-count-start", "0xFFFFFF00"});
  ASSERT_TRUE(card.started()) << card.error();

  DeviceLink link;
  ASSERT_EQ(link.open(100), Ok);  // not a multiple of 32, and still the size asked for
  EXPECT_EQ(link.config.bufferBytes, 100u * 4);
  EXPECT_EQ(link.config.numInputs, 4u);
  EXPECT_EQ(link.config.numOutputs, 4u);
  EXPECT_EQ(link.config.minBufferSize, 32u);
  ASSERT_NE(link.status(), nullptr);

  ASSERT_EQ(link.setBuffers(64 * 4), 0);
  EXPECT_EQ(link.config.bufferBytes, 64u * 4);
  // The claim's rule: the size asked for, within the card's smallest and largest.
  ASSERT_EQ(link.setBuffers(100 * 4), 0);
  EXPECT_EQ(link.config.bufferBytes, 100u * 4);
  ASSERT_EQ(link.setBuffers(16 * 4), 0);
  EXPECT_EQ(link.config.bufferBytes, 32u * 4);
  ASSERT_EQ(link.setBuffers(32800 * 4), 0);
  EXPECT_EQ(link.config.bufferBytes, 32768u * 4);
  ASSERT_EQ(link.setBuffers(64 * 4), 0);
  // Every half of every channel is memory of this process.
  for (DWORD c = 0; c < link.config.numOutputs; ++c)
    for (DWORD h : link.config.outputs[c].half) memset(addressOf(h), 0, 64 * 4);

  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  DWORD expectedCount = 0xFFFFFF00;
  for (DWORD n = 1; n <= 8; ++n) {
    WaitReply reply = waitHalf(link.handle);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.rate, 48000u);
    EXPECT_EQ(reply.changed, 0u);
    // A wait can return late on a loaded machine; the status tells how far the card got. The
    // card may move on while we read, one word after the other: take a copy that two reads
    // in a row agree on, word for word.
    StreamStatus status, again;
    do {
      status = *link.status();
      again = *link.status();
    } while (memcmp(&status, &again, sizeof status) != 0);
    ASSERT_GE(status.completedHalves, n);
    n = status.completedHalves;
    DWORD ready = status.currentHalf ^ 1;
    EXPECT_EQ(ready, (n - 1) % 2) << "half 0 completes first, then they alternate";
    expectedCount = 0xFFFFFF00 + n * 64;  // wraps past 2^32 at the fourth half
    EXPECT_EQ(status.halves[ready].sampleCount, expectedCount);
  }
  EXPECT_LT(expectedCount, 0xFFFFFF00u) << "the count wrapped";
  ASSERT_TRUE(request(link.handle, IOCTL_VV_STOP));
  ASSERT_EQ(link.setBuffers(32768 * 4), 0);  // long halves: none completes while we look
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  EXPECT_EQ(link.status()->completedHalves, 0u) << "counting starts again";
  ASSERT_TRUE(waitHalf(link.handle).ok);
  EXPECT_GE(link.status()->completedHalves, 1u);
}

TEST(CardStream, RateChangesAreFlaggedOnceToEachHandle) {
  CardDaemon card({"--rate", "44100"});
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink link;
  ASSERT_EQ(link.open(32), Ok);
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  EXPECT_EQ(waitHalf(link.handle).changed, 0u);

  HANDLE other = openCard();
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD rate = 96000;
  ASSERT_TRUE(request(other, IOCTL_VV_SET_SAMPLE_RATE, &rate, 4));
  WaitReply changed = waitHalf(link.handle);
  EXPECT_TRUE(changed.ok);
  EXPECT_EQ(changed.rate, 96000u);
  EXPECT_NE(changed.changed, 0u);
  EXPECT_EQ(waitHalf(link.handle).changed, 0u);

  DWORD bad = 8000;
  EXPECT_FALSE(request(other, IOCTL_VV_SET_SAMPLE_RATE, &bad, 4));
  DWORD got = 0, bytes = 0;
  ASSERT_TRUE(request(other, IOCTL_VV_GET_SAMPLE_RATE, nullptr, 0, &got, 4, &bytes));
  EXPECT_EQ(bytes, 4u);
  EXPECT_EQ(got, 96000u);
  CloseHandle(other);
}

TEST(CardStream, SlavedWithoutSpdifInputMeansNoClock) {
  CardDaemon card({"--no-spdif"});
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink link;
  ASSERT_EQ(link.open(64), Ok);
  EXPECT_FALSE(link.isSpdifSlaved());
  link.selectSpdifClock();
  EXPECT_TRUE(link.isSpdifSlaved());
  DWORD rate = 1, bytes = 0;
  ASSERT_TRUE(request(link.handle, IOCTL_VV_GET_SAMPLE_RATE, nullptr, 0, &rate, 4, &bytes));
  EXPECT_EQ(rate, 0u);
  DWORD wanted = 48000;
  EXPECT_FALSE(request(link.handle, IOCTL_VV_SET_SAMPLE_RATE, &wanted, 4))
      << "the S/PDIF input sets the rate while slaved";
  link.selectInternalClock();
  ASSERT_TRUE(request(link.handle, IOCTL_VV_GET_SAMPLE_RATE, nullptr, 0, &rate, 4, &bytes));
  EXPECT_EQ(rate, 44100u);
}

TEST(CardStream, LoopbackReturnsOutputSamplesBitExact) {
  CardDaemon card({"--loopback", "--rate", "96000"});
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink link;
  ASSERT_EQ(link.open(128), Ok);
  const DWORD frames = link.config.bufferBytes / 4;
  auto out = [&](DWORD channel, DWORD half) { return addressOf<int32_t>(link.config.outputs[channel].half[half]); };
  auto in = [&](DWORD channel, DWORD half) { return addressOf<int32_t>(link.config.inputs[channel].half[half]); };
  auto pattern = [&](DWORD channel, DWORD block, DWORD frame) {
    uint32_t x = (block * 7919u + frame * 104729u + channel * 15485863u) * 2654435761u;
    return int32_t(x ^ (x >> 13));  // every bit pattern, low byte included
  };
  for (DWORD h = 0; h < 2; ++h)
    for (DWORD c = 0; c < 4; ++c) memset(out(c, h), 0, frames * 4);

  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  // What is written into the half handed over at completion n plays in the period that ends
  // with completion n + 2, and comes back in that half's inputs.
  std::map<DWORD, DWORD> writtenAt;  // completion -> block number written then
  DWORD block = 0, matched = 0;
  for (int wake = 0; wake < 200 && matched < 20; ++wake) {
    ASSERT_TRUE(waitHalf(link.handle).ok);
    DWORD n = link.status()->completedHalves;
    DWORD h = link.status()->currentHalf ^ 1;
    if (writtenAt.count(n - 2)) {
      DWORD b = writtenAt[n - 2];
      for (DWORD c = 0; c < 4; ++c)
        for (DWORD f = 0; f < frames; ++f)
          ASSERT_EQ(in(c, h)[f], pattern(c, b, f)) << "channel " << c << " frame " << f;
      ++matched;
    }
    ++block;
    for (DWORD c = 0; c < 4; ++c)
      for (DWORD f = 0; f < frames; ++f) out(c, h)[f] = pattern(c, block, f);
    // Only a write made before the card moved on is sure to play.
    if (link.status()->completedHalves == n) writtenAt[n] = block;
  }
  EXPECT_GE(matched, 20u);
}

// The halves follow the half size: each change of size must leave every half whole, apart
// from the others and inside the memory the client mapped, starting on a cache line.
TEST(CardStream, HalvesStayApartAndInsideTheMemoryAtEverySize) {
  CardDaemon card({"--min-buffer", "40", "--inputs", "6", "--outputs", "8"});
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink link;
  ASSERT_EQ(link.open(40), Ok);
  for (DWORD frames : {40u, 80u, 32760u, 1000u, 40u}) {
    ASSERT_EQ(link.setBuffers(frames * 4), 0) << frames;
    ASSERT_EQ(link.config.bufferBytes, frames * 4);
    std::vector<std::pair<uint8_t*, uint8_t*>> halves;
    for (DWORD c = 0; c < link.config.numInputs + link.config.numOutputs; ++c)
      for (DWORD h = 0; h < 2; ++h) {
        const HalfBufferPair& pair = c < link.config.numInputs
                                         ? link.config.inputs[c]
                                         : link.config.outputs[c - link.config.numInputs];
        auto* start = addressOf<uint8_t>(pair.half[h]);
        ASSERT_NE(start, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(start) % 64, 0u) << frames;
        EXPECT_GE(start, addressOf<uint8_t>(link.config.status) + sizeof(StreamStatus));
        halves.emplace_back(start, start + frames * 4);
      }
    std::sort(halves.begin(), halves.end());
    for (size_t i = 1; i < halves.size(); ++i)
      EXPECT_LE(halves[i - 1].second, halves[i].first) << frames << " frames, half " << i;
    // Every byte of every half is the client's to write.
    for (auto& [start, end] : halves) memset(start, 0x5A, size_t(end - start));
  }
}

TEST(CardStream, ClosingTheHandleEndsABlockedWaitAtOnce) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = waitHalf(handle).ok ? 1 : 0; });  // stream stopped: blocks
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(result, -1) << "no half completes while the stream is stopped";
  auto closed = std::chrono::steady_clock::now();
  CloseHandle(handle);
  waiter.join();
  EXPECT_EQ(result, 0);
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::seconds(5));
}

TEST(CardStream, OtherThreadsAreServedWhileOneWaits) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink link;
  ASSERT_EQ(link.open(64), Ok);
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    waitHalf(link.handle);
    done = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  DWORD version = 1, bytes = 0;
  EXPECT_TRUE(request(link.handle, IOCTL_VV_GET_VERSION, nullptr, 0, &version, 4, &bytes));
  EXPECT_EQ(version, 0u);
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START)) << "the stream starts from the other thread";
  waiter.join();
  EXPECT_TRUE(done);
}

namespace {

DWORD WINAPI waitForever(LPVOID handle) {
  waitHalf(static_cast<HANDLE>(handle));
  return 0;
}

}  // namespace

TEST(CardStream, ATerminatedWaiterLeavesTheHandleUsable) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink link;
  ASSERT_EQ(link.open(64), Ok);
  HANDLE thread = CreateThread(nullptr, 0, waitForever, link.handle, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 300), DWORD(WAIT_TIMEOUT)) << "stopped: the wait blocks";
  ASSERT_TRUE(TerminateThread(thread, 1));
  EXPECT_EQ(WaitForSingleObject(thread, 5000), DWORD(WAIT_OBJECT_0));
  CloseHandle(thread);

  // The handle still serves, and its stream still runs for a new waiter.
  DWORD version = 1, bytes = 0;
  EXPECT_TRUE(request(link.handle, IOCTL_VV_GET_VERSION, nullptr, 0, &version, 4, &bytes));
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  EXPECT_TRUE(waitHalf(link.handle).ok);
  EXPECT_TRUE(waitHalf(link.handle).ok);
}

TEST(CardStream, CaptureRecordsWhatTheOutputPlays) {
  std::string wav = ::testing::TempDir() + "txvv-capture-" + std::to_string(getpid()) + ".wav";
  CardDaemon capturing({"--rate", "48000", "--capture", "1=" + wav});
  ASSERT_TRUE(capturing.started()) << capturing.error();
  DeviceLink link;
  ASSERT_EQ(link.open(256), Ok);
  for (DWORD h = 0; h < 2; ++h) {
    int32_t* out = addressOf<int32_t>(link.config.outputs[1].half[h]);
    for (int f = 0; f < 256; ++f) out[f] = 0x10000 * (f + 1) + int32_t(h);
  }
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(waitHalf(link.handle).ok);
  ASSERT_TRUE(request(link.handle, IOCTL_VV_STOP));
  link.close();
  ASSERT_TRUE(capturing.stop());

  FILE* file = fopen(wav.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::vector<uint8_t> bytes(1 << 20);
  bytes.resize(fread(bytes.data(), 1, bytes.size(), file));
  fclose(file);
  unlink(wav.c_str());
  ASSERT_GE(bytes.size(), 44u + 4 * 256 * 4);
  uint32_t dataBytes;
  memcpy(&dataBytes, bytes.data() + 40, 4);
  EXPECT_EQ(dataBytes, bytes.size() - 44) << "the header describes the whole recording";
  for (size_t frame = 0; frame < dataBytes / 4; ++frame) {
    int32_t sample;
    memcpy(&sample, bytes.data() + 44 + 4 * frame, 4);
    int32_t f = int32_t(frame % 256);
    int32_t h = int32_t(frame / 256 % 2);
    ASSERT_EQ(sample, 0x10000 * (f + 1) + h) << "frame " << frame;
  }
}
