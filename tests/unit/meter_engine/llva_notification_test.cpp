// The notification routine: which records it drops, what each kind does, when it
// acknowledges, and that the card's calls run only inside an alertable wait of the thread
// that started the client.
#include "meter_device_fixture.h"

#include <atomic>
#include <memory>
#include <new>
#include <thread>

namespace {

MeterNotification Record(DWORD kind, DWORD word1, DWORD word2, LONG count,
                         const LLVAVxDDevice* client) {
  return {kind, word1, word2, count, static_cast<DWORD>(reinterpret_cast<uintptr_t>(client))};
}

DWORD Address(const void* p) { return static_cast<DWORD>(reinterpret_cast<uintptr_t>(p)); }

void Deliver(const MeterNotification& record) {
  LLVAVxDDevice::NotificationRoutine(reinterpret_cast<ULONG_PTR>(&record));
}

TEST_F(MeterDeviceTest, NullRecordOrContextIsDroppedUnacknowledged) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  LLVAVxDDevice::NotificationRoutine(0);
  Deliver(Record(kMeterData, 0, 0, 0, nullptr));
  Deliver(Record(kSampleRateChange, 22050, 0, 0, nullptr));
  EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), 0u);
  EXPECT_TRUE(recorder.data.empty());
  EXPECT_EQ(client.GetSampleRate(), 48000);
}

TEST_F(MeterDeviceTest, MeterDataReachesTheCallbackAndIsAcknowledged) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  Started(client);
  const int32_t left[3] = {1, 2, 3};
  const int32_t right[3] = {4, 5, 6};
  Deliver(Record(kMeterData, Address(left), Address(right), 3, &client));
  ASSERT_EQ(recorder.data.size(), 1u);
  EXPECT_EQ(recorder.data[0].channel1, left);
  EXPECT_EQ(recorder.data[0].channel2, right);
  EXPECT_EQ(recorder.data[0].count, 3);
  EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), 1u);

  // Whatever the callback throws stays inside; the block is still given back.
  recorder.throwFromCallback = true;
  EXPECT_NO_THROW(Deliver(Record(kMeterData, Address(left), Address(right), -1, &client)));
  EXPECT_EQ(recorder.data.back().count, -1);
  EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), 2u);
}

TEST_F(MeterDeviceTest, MeterDataWithoutCallbackOrContextIsOnlyAcknowledged) {
  LLVAVxDDevice noCallback(&recorder, nullptr, 44100);
  LLVAVxDDevice noContext(nullptr, RecordData(), 44100);
  Started(noCallback);
  Started(noContext);
  Deliver(Record(kMeterData, 0, 0, 3, &noCallback));
  Deliver(Record(kMeterData, 0, 0, 3, &noContext));
  EXPECT_TRUE(recorder.data.empty());
  EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), 2u);
}

TEST_F(MeterDeviceTest, RateChangeUpdatesTheRateThenCallsTheRateCallback) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  Started(client);
  Deliver(Record(kSampleRateChange, 44100, 0, 0, &client));
  EXPECT_EQ(client.GetSampleRate(), 44100);
  EXPECT_TRUE(recorder.rates.empty());

  client.SetSampleRateCallback(&recorder, RecordRate());
  Deliver(Record(kSampleRateChange, 96000, 0, 0, &client));
  Deliver(Record(kSampleRateChange, 0, 0, 0, &client));
  EXPECT_EQ(client.GetSampleRate(), 0);
  EXPECT_EQ(recorder.rates, (std::vector<int32_t>{96000, 0}));
  EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), 3u);

  // A callback without its target is not called.
  client.SetSampleRateCallback(nullptr, RecordRate());
  Deliver(Record(kSampleRateChange, 32000, 0, 0, &client));
  EXPECT_EQ(recorder.rates.size(), 2u);
  EXPECT_EQ(client.GetSampleRate(), 32000);
}

TEST_F(MeterDeviceTest, OtherKindsAreAcknowledgedAndIgnored) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  Started(client);
  client.SetSampleRateCallback(&recorder, RecordRate());
  Deliver(Record(3, 12345, 0, 4, &client));
  Deliver(Record(0, 12345, 0, 4, &client));
  EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), 2u);
  EXPECT_TRUE(recorder.data.empty());
  EXPECT_TRUE(recorder.rates.empty());
  EXPECT_EQ(client.GetSampleRate(), 48000);
}

// The routine's address as handed to the card, called the way the card calls it.
PAPCFUNC RoutineFromStart(const vexa::testing::DeviceRequest& start) {
  return reinterpret_cast<PAPCFUNC>(static_cast<uintptr_t>(start.inputWord(0)));
}

// A deleted client's notifications still queued reach no one: not the freed object, and not a
// new client made at the same address, which must not take them for its own nor acknowledge
// them on its own handle.
TEST_F(MeterDeviceTest, NotificationsOfADeletedClientReachNoLaterClient) {
  auto client = std::make_unique<LLVAVxDDevice>(&recorder, RecordData(), 44100);
  Started(*client);
  const MeterNotification stale = Record(kMeterData, 0, 0, 1, client.get());
  client.reset();
  Deliver(stale);
  EXPECT_TRUE(recorder.data.empty());
  EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), 0u);

  // One room used by two clients in turn, as the allocator may do.
  alignas(LLVAVxDDevice) unsigned char room[sizeof(LLVAVxDDevice)];
  auto* first = new (room) LLVAVxDDevice(&recorder, RecordData(), 44100);
  first->Start();
  const PAPCFUNC routine = RoutineFromStart(Sent(IOCTL_LLVA_START).back());
  const int32_t samples[3] = {7, 8, 9};
  const MeterNotification oldData = Record(kMeterData, Address(samples), Address(samples), 2, first);
  const MeterNotification oldRate = Record(kSampleRateChange, 22050, 0, 0, first);
  ASSERT_TRUE(card.queueApcToSender(IOCTL_LLVA_START, routine, reinterpret_cast<ULONG_PTR>(&oldData)));
  ASSERT_TRUE(card.queueApcToSender(IOCTL_LLVA_START, routine, reinterpret_cast<ULONG_PTR>(&oldRate)));
  first->~LLVAVxDDevice();

  auto* second = new (room) LLVAVxDDevice(&recorder, RecordData(), 44100);
  ASSERT_EQ(static_cast<void*>(second), static_cast<void*>(first));
  second->Start();
  const MeterNotification own = Record(kMeterData, Address(samples), Address(samples), 3, second);
  ASSERT_TRUE(card.queueApcToSender(IOCTL_LLVA_START, routine, reinterpret_cast<ULONG_PTR>(&own)));
  EXPECT_EQ(SleepEx(10000, TRUE), static_cast<DWORD>(WAIT_IO_COMPLETION));

  ASSERT_EQ(recorder.data.size(), 1u);
  EXPECT_EQ(recorder.data[0].count, 3);
  EXPECT_EQ(second->GetSampleRate(), 48000);
  const auto acknowledged = Sent(IOCTL_LLVA_ACKNOWLEDGE);
  ASSERT_EQ(acknowledged.size(), 1u);
  EXPECT_EQ(acknowledged[0].connection, Sent(IOCTL_LLVA_START).back().connection);
  second->~LLVAVxDDevice();
}

TEST_F(MeterDeviceTest, NotificationsRunOnlyInAnAlertableWaitOfTheStartingThread) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  client.SetSampleRateCallback(&recorder, RecordRate());
  client.Start();
  const PAPCFUNC routine = RoutineFromStart(Sent(IOCTL_LLVA_START).at(0));
  const int32_t samples[2] = {7, 8};
  const MeterNotification data = Record(kMeterData, Address(samples), Address(samples), 2, &client);
  const MeterNotification rate = Record(kSampleRateChange, 88200, 0, 0, &client);

  // Queued by another thread, as the card's own thread would.
  std::thread([&] {
    ASSERT_TRUE(card.queueApcToSender(IOCTL_LLVA_START, routine, reinterpret_cast<ULONG_PTR>(&data)));
    ASSERT_TRUE(card.queueApcToSender(IOCTL_LLVA_START, routine, reinterpret_cast<ULONG_PTR>(&rate)));
  }).join();

  SleepEx(20, FALSE);
  Sleep(20);
  // Another thread's alertable wait runs only its own calls.
  std::thread([] { EXPECT_EQ(SleepEx(20, TRUE), 0u); }).join();
  EXPECT_TRUE(recorder.data.empty());
  EXPECT_EQ(client.GetSampleRate(), 48000);

  EXPECT_EQ(SleepEx(10000, TRUE), static_cast<DWORD>(WAIT_IO_COMPLETION));
  ASSERT_EQ(recorder.data.size(), 1u);
  EXPECT_EQ(recorder.data[0].thread, GetCurrentThreadId());
  EXPECT_EQ(recorder.data[0].count, 2);
  EXPECT_EQ(recorder.rates, (std::vector<int32_t>{88200}));
  EXPECT_EQ(client.GetSampleRate(), 88200);
  EXPECT_EQ(card.count(IOCTL_LLVA_ACKNOWLEDGE), 2u);
}

}  // namespace
