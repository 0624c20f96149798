// The meter client against the card double: opening and verification, control requests,
// their failure texts, and closing.
#include "meter_device_fixture.h"
#include "meter_errors.h"

#include <functional>
#include <memory>
#include <string>

namespace {

using vexa::testing::DeviceReply;

const DeviceReply kFails = {false, 0, {}, {}};

template <class Error>
void ExpectConstructionFails(vexa::testing::DeviceDouble& card, CallRecorder& recorder) {
  try {
    LLVAVxDDevice client(&recorder, RecordData(), 44100);
    ADD_FAILURE() << "construction succeeded";
  } catch (const Error& error) {
    EXPECT_STREQ(error.Message(), "LLVA Init failed");
  } catch (const AnyError& error) {
    ADD_FAILURE() << "wrong error class: " << typeid(error).name();
  }
  // The handle opened before the failing step is closed before the error arrives.
  EXPECT_EQ(card.closedCount(), card.openCount());
}

TEST_F(MeterDeviceTest, MissingDriverIsNotInstalled) {
  card.setAvailable(false);
  ExpectConstructionFails<LLVANotInstalledError>(card, recorder);
  EXPECT_TRUE(card.requests().empty());
}

TEST_F(MeterDeviceTest, VersionRejectionsAreVersionMismatches) {
  for (DeviceReply version : {DeviceReply{true, 4, {1}, {}}, DeviceReply{true, 0, {0}, {}},
                              DeviceReply{false, 4, {0}, {}}}) {
    card.replyOnce(IOCTL_LLVA_GET_VERSION, version);
    ExpectConstructionFails<LLVAVersionMismatchError>(card, recorder);
  }
  EXPECT_EQ(card.count(IOCTL_LLVA_GET_INFO), 0u);
}

TEST_F(MeterDeviceTest, UnansweredInformationMeansNotInstalled) {
  card.replyOnce(IOCTL_LLVA_GET_INFO, kFails);
  ExpectConstructionFails<LLVANotInstalledError>(card, recorder);
  card.replyOnce(IOCTL_LLVA_GET_INFO, {true, 0, {0, 1, 0, 0, 0, 0, 48000}, {}});
  ExpectConstructionFails<LLVANotInstalledError>(card, recorder);
}

TEST_F(MeterDeviceTest, InformationRecordRejectsTheHardware) {
  card.replyOnce(IOCTL_LLVA_GET_INFO, {true, 48, {0, 0, 0, 0, 0, 0, 48000}, {}});
  ExpectConstructionFails<LLVAUnsupportedHWError>(card, recorder);
  card.replyOnce(IOCTL_LLVA_GET_INFO, {true, 48, {0, 1, 1, 0, 0, 0, 48000}, {}});
  ExpectConstructionFails<LLVAUnsupportedHWError>(card, recorder);
}

TEST_F(MeterDeviceTest, RateComesFromTheInformationRecordAndFollowsOnlyNotifications) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  EXPECT_EQ(client.GetSampleRate(), 48000);
  client.SetSampleRate(96000);
  ASSERT_EQ(Sent(IOCTL_LLVA_SET_SAMPLE_RATE).size(), 1u);
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_SAMPLE_RATE)[0].inputWord(0), 96000u);
  EXPECT_EQ(client.GetSampleRate(), 48000);

  card.replyOnce(IOCTL_LLVA_SET_SAMPLE_RATE, kFails);
  EXPECT_THROW(client.SetSampleRate(22050), NonfatalError);
  EXPECT_EQ(client.GetSampleRate(), 48000);
}

TEST_F(MeterDeviceTest, StartHandsOverTheRoutineAndTheClient) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  client.Start();
  const auto starts = Sent(IOCTL_LLVA_START);
  ASSERT_EQ(starts.size(), 1u);
  ASSERT_EQ(starts[0].input.size(), 8u);
  EXPECT_EQ(starts[0].inputWord(0), reinterpret_cast<uintptr_t>(&LLVAVxDDevice::NotificationRoutine));
  EXPECT_EQ(starts[0].inputWord(1), reinterpret_cast<uintptr_t>(&client));
  EXPECT_EQ(starts[0].outSize, 0u);
}

TEST_F(MeterDeviceTest, EveryFailedControlRequestThrowsItsText) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  struct Case {
    DWORD code;
    std::function<void()> call;
    const char* text;
  };
  const Case cases[] = {
      {IOCTL_LLVA_START, [&] { client.Start(); }, "VxD start failed"},
      {IOCTL_LLVA_STOP, [&] { client.Stop(); }, "VxD start failed"},
      {IOCTL_LLVA_SET_SAMPLE_RATE, [&] { client.SetSampleRate(44100); }, "VxD sample rate set failed"},
      {IOCTL_LLVA_SET_ROUTE, [&] { client.SetRoute(2); }, "VxD route set failed"},
      {IOCTL_LLVA_GET_ROUTE, [&] { client.GetRoute(); }, "VxD route get failed"},
      {IOCTL_LLVA_ENGAGE_SLAVE, [&] { client.EngageSlave(); }, "VxD S/PDIF slave engage failed"},
      {IOCTL_LLVA_DISABLE_SLAVE, [&] { client.DisableSlave(); }, "VxD S/PDIF slave disable failed"},
      {IOCTL_LLVA_GET_SLAVE_STATUS, [&] { client.GetSlaveStatus(); },
       "VxD S/PDIF slave status check failed"},
      {IOCTL_LLVA_UNPLUG_CARD, [&] { client.UnplugCard(); }, "PCI card unplugging failed!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_NO_THROW(c.call());
    card.replyOnce(c.code, kFails);
    try {
      c.call();
      ADD_FAILURE() << "no error";
    } catch (const LLVAError&) {
      ADD_FAILURE() << "a control request failure is not a start-up error";
    } catch (const NonfatalError& error) {
      EXPECT_STREQ(error.Message(), c.text);
    }
  }
  EXPECT_EQ(client.GetSampleRate(), 48000);
}

TEST_F(MeterDeviceTest, RouteAndSlaveStatusWordsAreReturnedAsDelivered) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  client.SetRoute(4);
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_ROUTE).back().inputWord(0), 4u);
  EXPECT_EQ(Sent(IOCTL_LLVA_SET_ROUTE).back().input.size(), 4u);

  card.replyOnce(IOCTL_LLVA_GET_ROUTE, {true, 2, {3}, {}});
  EXPECT_EQ(client.GetRoute(), 3);
  card.replyOnce(IOCTL_LLVA_GET_SLAVE_STATUS, {true, 4, {7}, {}});
  EXPECT_EQ(client.GetSlaveStatus(), 7);
  card.replyOnce(IOCTL_LLVA_GET_SLAVE_STATUS, {true, 4, {0}, {}});
  EXPECT_EQ(client.GetSlaveStatus(), 0);
}

TEST_F(MeterDeviceTest, RoutesOutsideTheFiveModesAreRefusedWithoutARequest) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  for (LONG mode : {-1L, 5L, 0x7FFFFFFFL}) {
    try {
      client.SetRoute(mode);
      ADD_FAILURE() << "mode " << mode << " accepted";
    } catch (const NonfatalError& error) {
      EXPECT_STREQ(error.Message(), "VxD route set failed");
    }
  }
  EXPECT_EQ(card.count(IOCTL_LLVA_SET_ROUTE), 0u);
  client.SetRoute(0);
  EXPECT_EQ(card.count(IOCTL_LLVA_SET_ROUTE), 1u);
}

TEST_F(MeterDeviceTest, CardStateMapsEveryAnswer) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  card.replyOnce(IOCTL_LLVA_GET_CARD_STATE, {true, 4, {0}, {}});
  EXPECT_EQ(client.GetCardState(), 0);
  card.replyOnce(IOCTL_LLVA_GET_CARD_STATE, {true, 4, {2}, {}});
  EXPECT_EQ(client.GetCardState(), 2);
  card.replyOnce(IOCTL_LLVA_GET_CARD_STATE, {true, 4, {5}, {}});
  EXPECT_EQ(client.GetCardState(), 1);
  card.replyOnce(IOCTL_LLVA_GET_CARD_STATE, {true, 2, {0}, {}});
  EXPECT_EQ(client.GetCardState(), 1);
  card.replyOnce(IOCTL_LLVA_GET_CARD_STATE, {false, 4, {0}, {}});
  EXPECT_EQ(client.GetCardState(), 1);
}

TEST_F(MeterDeviceTest, ExchangeRecordStampsTheCodeAndNeedsExactly20Bytes) {
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  DWORD record[5] = {1, 2, 3, 4, 5};
  card.replyOnce(IOCTL_LLVA_EXCHANGE_RECORD, {true, 20, {}, {}});
  EXPECT_EQ(client.ExchangeRecord(record), 0);
  EXPECT_EQ(record[0], 0x2200E0u);
  const auto sent = Sent(IOCTL_LLVA_EXCHANGE_RECORD);
  ASSERT_EQ(sent.size(), 1u);
  ASSERT_EQ(sent[0].input.size(), 20u);
  EXPECT_EQ(sent[0].inputWord(0), 0x2200E0u);
  EXPECT_EQ(sent[0].inputWord(4), 5u);

  card.replyOnce(IOCTL_LLVA_EXCHANGE_RECORD, {true, 16, {}, {}});
  EXPECT_EQ(client.ExchangeRecord(record), 1);
  card.replyOnce(IOCTL_LLVA_EXCHANGE_RECORD, {false, 20, {}, {}});
  EXPECT_EQ(client.ExchangeRecord(record), 1);
  EXPECT_EQ(client.ExchangeRecord(nullptr), 1);
  EXPECT_EQ(card.count(IOCTL_LLVA_EXCHANGE_RECORD), 3u);
}

TEST_F(MeterDeviceTest, ClosingStopsBeforeTheHandleCloses) {
  auto client = std::make_unique<LLVAVxDDevice>(&recorder, RecordData(), 44100);
  client->Start();
  client.reset();
  // A stop sent after the close could not have reached the card.
  EXPECT_EQ(card.count(IOCTL_LLVA_STOP), 1u);
  EXPECT_EQ(card.requests().back().code, static_cast<DWORD>(IOCTL_LLVA_STOP));
  EXPECT_EQ(card.closedCount(), 1u);
}

TEST_F(MeterDeviceTest, AFailedStopStillClosesAndClosingTwiceDoesNothing) {
  card.reply(IOCTL_LLVA_STOP, kFails);
  LLVAVxDDevice client(&recorder, RecordData(), 44100);
  EXPECT_NO_THROW(client.Close());
  EXPECT_EQ(card.closedCount(), 1u);
  client.Close();
  EXPECT_EQ(card.count(IOCTL_LLVA_STOP), 1u);
  EXPECT_EQ(card.closedCount(), 1u);
  // Requests on a closed client fail as requests, not as crashes.
  EXPECT_THROW(client.EngageSlave(), NonfatalError);
  EXPECT_EQ(client.GetCardState(), 1);
}

}  // namespace
