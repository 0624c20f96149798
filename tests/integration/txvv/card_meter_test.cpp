// The meter's road through txvvd: information record, notifications as APCs to the thread
// that started them, acknowledgements, rate changes, routing, and a client that stops
// acknowledging.
#include "card_fixture.h"
#include "card_test_support.h"

#include <meter_records.h>

#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using vexa::testing::CardDaemon;

namespace {

struct Seen {
  DWORD thread;
  MeterNotification record;
  int32_t peak1;
  int32_t peak2;
};

HANDLE meterHandle = INVALID_HANDLE_VALUE;
bool acknowledge = true;
std::mutex seenLock;
std::vector<Seen> seen;

int32_t peakOf(DWORD address, LONG count) {
  int32_t peak = 0;
  for (LONG i = 0; i < count; ++i) peak = std::max(peak, abs(addressOf<int32_t>(address)[i]));
  return peak;
}

// The meter's notification routine: one pointer argument, returns 0.
DWORD WINAPI onNotification(MeterNotification* record) {
  Seen entry{GetCurrentThreadId(), *record, 0, 0};
  if (record->kind == kMeterData) {
    entry.peak1 = peakOf(record->word1, record->count);
    entry.peak2 = peakOf(record->word2, record->count);
  }
  {
    std::lock_guard<std::mutex> hold(seenLock);
    seen.push_back(entry);
  }
  if (acknowledge) request(meterHandle, IOCTL_LLVA_ACKNOWLEDGE);
  return 0;
}

size_t seenCount() {
  std::lock_guard<std::mutex> hold(seenLock);
  return seen.size();
}

// The rates of the rate-change notifications that have run, in order.
std::vector<DWORD> kindTwoRates() {
  std::vector<DWORD> rates;
  std::lock_guard<std::mutex> hold(seenLock);
  for (const Seen& entry : seen)
    if (entry.record.kind == kSampleRateChange) rates.push_back(entry.record.word1);
  return rates;
}

bool startMeter(DWORD context) {
  MeterStartRecord start{DWORD(reinterpret_cast<uintptr_t>(&onNotification)), context};
  return request(meterHandle, IOCTL_LLVA_START, &start, sizeof start);
}

// Sleeps alertably until `count` notifications have run (or a generous time-out).
void sleepUntilSeen(size_t count) {
  for (int i = 0; i < 200 && seenCount() < count; ++i) SleepEx(50, TRUE);
}

class CardMeter : public ::testing::Test {
protected:
  void SetUp() override {
    std::lock_guard<std::mutex> hold(seenLock);
    seen.clear();
    acknowledge = true;
  }
  void TearDown() override {
    if (meterHandle != INVALID_HANDLE_VALUE) CloseHandle(meterHandle);
    meterHandle = INVALID_HANDLE_VALUE;
  }
};

}  // namespace

TEST_F(CardMeter, NotificationsRunOnlyInTheStartersAlertableSleepAndStopWithTheStopRequest) {
  CardDaemon card({"--rate", "48000", "--meter-block", "256", "--signal", "0=sine:1000:-20",
                   "--signal", "1=sine:100:0"});
  ASSERT_TRUE(card.started()) << card.error();
  meterHandle = openCard();
  ASSERT_NE(meterHandle, INVALID_HANDLE_VALUE);

  DeviceInfoRecord info{};
  DWORD bytes = 0;
  ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_GET_INFO, nullptr, 0, &info, sizeof info, &bytes));
  EXPECT_EQ(bytes, 48u);
  EXPECT_NE(info.supported, 0u);
  EXPECT_EQ(info.unsupported, 0u);
  EXPECT_EQ(info.sampleRate, 48000u);

  DWORD starter = 0;
  size_t duringPlainSleep = 99, afterStop = 0, stoppedAt = 0;
  std::thread meterThread([&] {
    starter = GetCurrentThreadId();
    ASSERT_TRUE(startMeter(0x1234));
    Sleep(300);  // not alertable: nothing may run
    duringPlainSleep = seenCount();
    sleepUntilSeen(12);
    ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_STOP));
    stoppedAt = seenCount();
    for (int i = 0; i < 6; ++i) SleepEx(50, TRUE);
    afterStop = seenCount();
  });
  // This thread sleeps alertably too; nothing of the meter's may run here.
  for (int i = 0; i < 10; ++i) SleepEx(50, TRUE);
  meterThread.join();

  EXPECT_EQ(duringPlainSleep, 0u);
  ASSERT_GE(stoppedAt, 12u);
  EXPECT_EQ(afterStop, stoppedAt) << "nothing runs after the stop request";
  std::lock_guard<std::mutex> hold(seenLock);
  for (const Seen& entry : seen) {
    EXPECT_EQ(entry.thread, starter);
    EXPECT_EQ(entry.record.kind, DWORD(kMeterData));
    EXPECT_EQ(entry.record.count, 256);
    EXPECT_EQ(entry.record.context, 0x1234u);
    EXPECT_NE(entry.record.word1, entry.record.word2);
  }
  // -20 dBFS is a tenth of full scale; the second channel is at full scale.
  const Seen& last = seen.back();
  EXPECT_NEAR(last.peak1 / 2147483392.0, 0.1, 0.005);
  EXPECT_NEAR(last.peak2 / 2147483392.0, 1.0, 0.01);
}

TEST_F(CardMeter, RateChangesArriveAsKindTwo) {
  CardDaemon card({"--rate", "44100", "--no-spdif"});
  ASSERT_TRUE(card.started()) << card.error();
  meterHandle = openCard();
  ASSERT_NE(meterHandle, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(startMeter(7));
  DWORD rate = 48000;
  ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_SET_SAMPLE_RATE, &rate, 4));
  for (int i = 0; i < 100 && kindTwoRates().empty(); ++i) SleepEx(50, TRUE);
  ASSERT_EQ(kindTwoRates(), std::vector<DWORD>{48000});

  // Slaved to an absent S/PDIF input: no clock.
  ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_ENGAGE_SLAVE));
  DWORD slaved = 0;
  ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_GET_SLAVE_STATUS, nullptr, 0, &slaved, 4));
  EXPECT_EQ(slaved, 1u);
  for (int i = 0; i < 100 && kindTwoRates().size() < 2; ++i) SleepEx(50, TRUE);
  EXPECT_EQ(kindTwoRates(), (std::vector<DWORD>{48000, 0}));
  ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_DISABLE_SLAVE));
  for (int i = 0; i < 100 && kindTwoRates().size() < 3; ++i) SleepEx(50, TRUE);
  EXPECT_EQ(kindTwoRates(), (std::vector<DWORD>{48000, 0, 48000}));
}

TEST_F(CardMeter, RoutingChoosesTheTappedChannels) {
  CardDaemon card({"--meter-block", "512", "--signal", "0=sine:1000:-20", "--signal",
                   "2=sine:1000:-6"});
  ASSERT_TRUE(card.started()) << card.error();
  meterHandle = openCard();
  ASSERT_NE(meterHandle, INVALID_HANDLE_VALUE);
  DWORD mode = 5;
  EXPECT_FALSE(request(meterHandle, IOCTL_LLVA_SET_ROUTE, &mode, 4)) << "modes are 0 to 4";
  auto peakAfterRoute = [&](DWORD route) {
    EXPECT_TRUE(request(meterHandle, IOCTL_LLVA_SET_ROUTE, &route, 4));
    DWORD got = 99;
    EXPECT_TRUE(request(meterHandle, IOCTL_LLVA_GET_ROUTE, nullptr, 0, &got, 4));
    EXPECT_EQ(got, route);
    // Blocks tapped before the change may still be on their way: as many as there are slots.
    size_t from = seenCount() + 9;
    sleepUntilSeen(from + 1);
    std::lock_guard<std::mutex> hold(seenLock);
    return seen.size() > from ? seen.back().peak1 / 2147483392.0 : -1.0;
  };
  ASSERT_TRUE(startMeter(1));
  EXPECT_NEAR(peakAfterRoute(0), 0.1, 0.01) << "Normal: analog inputs";
  EXPECT_NEAR(peakAfterRoute(3), 0.5, 0.01) << "Normal + S/PDIF: the S/PDIF inputs";
  EXPECT_NEAR(peakAfterRoute(1), 0.0, 0.001) << "4x4: the outputs, silent without a stream";
}

TEST_F(CardMeter, AClientThatStopsAcknowledgingLosesBlocksAndNeverStallsTheCard) {
  CardDaemon card({"--rate", "96000", "--meter-block", "256", "--meter-slots", "4"});
  ASSERT_TRUE(card.started()) << card.error();
  meterHandle = openCard();
  ASSERT_NE(meterHandle, INVALID_HANDLE_VALUE);
  acknowledge = false;
  ASSERT_TRUE(startMeter(1));
  for (int i = 0; i < 10; ++i) SleepEx(50, TRUE);
  EXPECT_EQ(seenCount(), 4u) << "one notification per slot, then nothing until acknowledged";

  DeviceLink link;  // the stream keeps its pace meanwhile
  ASSERT_EQ(link.open(256), Ok);
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(waitHalf(link.handle).ok);
  EXPECT_NE(card.status().find(" lost"), std::string::npos);

  acknowledge = true;
  request(meterHandle, IOCTL_LLVA_ACKNOWLEDGE);  // frees a slot: delivery resumes
  sleepUntilSeen(10);
  EXPECT_GE(seenCount(), 10u);
}

// Acknowledgements are counted in the client's memory; a rate change that found every rate
// slot taken goes out once they arrive, even when the clock has stopped and no block is due.
TEST_F(CardMeter, ARateChangeThatWaitedForASlotGoesOutOnceAcknowledgedEvenWithNoClock) {
  CardDaemon card({"--rate", "44100", "--no-spdif", "--meter-slots", "1"});
  ASSERT_TRUE(card.started()) << card.error();
  meterHandle = openCard();
  ASSERT_NE(meterHandle, INVALID_HANDLE_VALUE);
  acknowledge = false;
  ASSERT_TRUE(startMeter(1));
  for (DWORD rate : {48000, 32000, 22050, 16000}) {
    ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_SET_SAMPLE_RATE, &rate, 4));
  }
  ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_ENGAGE_SLAVE));  // no input: rate 0, no clock
  for (int i = 0; i < 100 && kindTwoRates().size() < 4; ++i) SleepEx(50, TRUE);
  for (int i = 0; i < 4; ++i) SleepEx(50, TRUE);  // time for a fifth, which must not come
  ASSERT_EQ(kindTwoRates(), (std::vector<DWORD>{48000, 32000, 22050, 16000}));

  for (size_t i = 0, n = seenCount(); i < n; ++i)
    ASSERT_TRUE(request(meterHandle, IOCTL_LLVA_ACKNOWLEDGE));
  for (int i = 0; i < 100 && kindTwoRates().size() < 5; ++i) SleepEx(50, TRUE);
  EXPECT_EQ(kindTwoRates(), (std::vector<DWORD>{48000, 32000, 22050, 16000, 0}));
}
