// The driver object's operations against the device double, grouped by operation.
#include <gtest/gtest.h>

#include <math.h>
#include <string.h>

#include <string>

#include <vexa/dialog.h>

#include "driver_handle.h"
#include "fake_card.h"
#include "host_recorder.h"

namespace {

std::string errorText(IASIO* asio) {
  char text[128] = {};
  asio->getErrorMessage(text);
  return text;
}

struct DriverTest : ::testing::Test {
  FakeCard card;
  HostRecorder host;

  ASIOError createBuffers(DriverHandle& driver, long frames = 256) {
    ASIOBufferInfo infos[2] = {{ASIOTrue, 0, {}}, {ASIOFalse, 1, {}}};
    ASIOCallbacks callbacks = host.callbacks();
    return driver->createBuffers(infos, 2, frames, &callbacks);
  }

  // The worker's half-buffer waits come and go on their own thread.
  size_t requestsBesidesWaits() {
    return card.device.requests().size() - card.sent(IOCTL_VV_WAIT_HALF_BUFFER);
  }
};

// --- construction and init ---

TEST_F(DriverTest, OpensWithTheStoredSizeAndStillReportsTheInitialText) {
  card.storeBufferSize(512);
  DriverHandle driver;
  int window = 0;
  EXPECT_EQ(driver->init(&window), ASIOTrue);
  EXPECT_EQ(driver->sysHandle, reinterpret_cast<HWND>(&window));
  EXPECT_EQ(errorText(driver.asio()), "TX Vexa: initialization failure");
  auto requests = card.device.requests();
  ASSERT_EQ(card.sent(IOCTL_VV_OPEN_STREAM), 1u);
  for (const auto& request : requests)
    if (request.code == IOCTL_VV_OPEN_STREAM) {
      EXPECT_EQ(request.input.size(), sizeof(StreamConfig));
      EXPECT_EQ(request.inputWord(0), 2048u);
      EXPECT_EQ(request.inputWord(1), 0u);
    }
  char name[64] = {};
  driver->getDriverName(name);
  EXPECT_STREQ(name, "Tarvenix Native");
  EXPECT_EQ(driver->getDriverVersion(), 2);
}

TEST_F(DriverTest, EachOpenFailureLeavesItsText) {
  card.device.setAvailable(false);
  {
    DriverHandle driver;
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    EXPECT_EQ(errorText(driver.asio()), "TX Vexa: VxD is not available.");
  }
  card.device.setAvailable(true);
  card.device.replyOnce(IOCTL_VV_GET_VERSION, {true, -1, {1}, {}});
  {
    DriverHandle driver;
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    EXPECT_EQ(errorText(driver.asio()), "TX Vexa: VxD version mismatch");
    EXPECT_EQ(card.sent(IOCTL_VV_OPEN_STREAM), 0u);
  }
  card.device.replyOnce(IOCTL_VV_OPEN_STREAM, {true, 0, {}, {}});
  {
    DriverHandle driver;
    EXPECT_EQ(driver->init(nullptr), ASIOFalse);
    EXPECT_EQ(errorText(driver.asio()), "TX Vexa: ASIO init failed (in use?)");
  }
  // Every handle opened was closed again.
  EXPECT_EQ(card.device.openCount(), card.device.closedCount());
}

TEST_F(DriverTest, OneActiveDriverPerProcess) {
  DriverHandle first;
  ASSERT_EQ(first->init(nullptr), ASIOTrue);
  {
    DriverHandle second;
    EXPECT_EQ(second->init(nullptr), ASIOFalse);
    EXPECT_EQ(errorText(second.asio()), "TX Vexa: in use");
    EXPECT_EQ(card.device.openCount(), 1u);
  }
  // The second one going does not free the first one's place.
  long inputs = 0, outputs = 0;
  EXPECT_EQ(first->getChannels(&inputs, &outputs), ASE_OK);
  DriverHandle third;
  EXPECT_EQ(third->init(nullptr), ASIOFalse);
  third.release();
  first.release();
  DriverHandle fourth;
  EXPECT_EQ(fourth->init(nullptr), ASIOTrue);
}

TEST_F(DriverTest, AFailedOpenStillHoldsTheProcessPlace) {
  card.device.setAvailable(false);
  DriverHandle failed;
  card.device.setAvailable(true);
  DriverHandle next;
  EXPECT_EQ(errorText(next.asio()), "TX Vexa: in use");
}

TEST_F(DriverTest, AnUninitialisedDriverSendsNothing) {
  card.device.replyOnce(IOCTL_VV_GET_VERSION, {true, -1, {1}, {}});
  DriverHandle driver;
  size_t before = card.device.requests().size();

  long a = 0, b = 0, c = 0, d = 0;
  ASIOSampleRate rate = 0;
  ASIOSamples position{};
  ASIOTimeStamp stamp{};
  ASIOChannelInfo info{};
  ASIOBufferInfo buffers[1] = {{ASIOFalse, 0, {}}};
  ASIOCallbacks callbacks = host.callbacks();
  EXPECT_EQ(driver->start(), ASE_NotPresent);
  EXPECT_EQ(driver->stop(), ASE_NotPresent);
  EXPECT_EQ(driver->getChannels(&a, &b), ASE_NotPresent);
  EXPECT_EQ(driver->getLatencies(&a, &b), ASE_NotPresent);
  EXPECT_EQ(driver->getBufferSize(&a, &b, &c, &d), ASE_NotPresent);
  EXPECT_EQ(driver->canSampleRate(48000.0), ASE_NotPresent);
  EXPECT_EQ(driver->getSampleRate(&rate), ASE_NotPresent);
  EXPECT_EQ(driver->setSampleRate(48000.0), ASE_NotPresent);
  EXPECT_EQ(driver->getSamplePosition(&position, &stamp), ASE_NotPresent);
  EXPECT_EQ(driver->getChannelInfo(&info), ASE_NotPresent);
  EXPECT_EQ(driver->createBuffers(buffers, 1, 64, &callbacks), ASE_NotPresent);
  EXPECT_EQ(driver->disposeBuffers(), ASE_NotPresent);
  EXPECT_EQ(card.device.requests().size(), before);
  EXPECT_TRUE(host.messages().empty());
}

// --- channels, latencies, buffer sizes ---

TEST_F(DriverTest, ChannelsAndLatenciesFollowTheConfiguration) {
  DriverHandle driver;
  long inputs = 0, outputs = 0;
  EXPECT_EQ(driver->getChannels(&inputs, &outputs), ASE_OK);
  EXPECT_EQ(inputs, 4);
  EXPECT_EQ(outputs, 4);
  long in = 0, out = 0;
  EXPECT_EQ(driver->getLatencies(&in, &out), ASE_OK);
  EXPECT_EQ(in, 256 + 30);
  EXPECT_EQ(out, 256 + 2 * 32 + 10);
  EXPECT_EQ(driver->getChannels(nullptr, &outputs), ASE_InvalidParameter);
}

TEST_F(DriverTest, BufferSizeKeepsThePreferredSizeWithinMinimumAndMaximum) {
  DriverHandle driver;
  long minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
  EXPECT_EQ(driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
  EXPECT_EQ(minSize, 32);
  EXPECT_EQ(maxSize, 32768);
  EXPECT_EQ(preferred, 8192);
  EXPECT_EQ(granularity, 128);

  // Read anew at each call.
  card.storeBufferSize(16);
  driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
  EXPECT_EQ(preferred, 32);
  card.storeBufferSize(100000);
  driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
  EXPECT_EQ(preferred, 32768);
  // Signed comparison: a stored size with the top bit set is below the minimum.
  card.storeBufferSize(0xFFFFFFF0);
  driver->getBufferSize(&minSize, &maxSize, &preferred, &granularity);
  EXPECT_EQ(preferred, 32);
}

// --- sample rates ---

TEST_F(DriverTest, CanSampleRateAcceptsExactlyTheListedRates) {
  DriverHandle driver;
  size_t before = requestsBesidesWaits();
  for (double rate : {48000.0, 24000.0, 12000.0, 9600.0, 32000.0, 16000.0, 96000.0, 44100.0,
                      22050.0, 11025.0, 88200.0})
    EXPECT_EQ(driver->canSampleRate(rate), ASE_OK) << rate;
  for (double rate : {8000.0, 44100.5, 192000.0, 0.0, -48000.0, double(NAN)})
    EXPECT_EQ(driver->canSampleRate(rate), ASE_NoClock) << rate;
  EXPECT_EQ(requestsBesidesWaits(), before);
}

TEST_F(DriverTest, GetSampleRateJudgesTheReply) {
  DriverHandle driver;
  ASIOSampleRate rate = -1;
  EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
  EXPECT_EQ(rate, 48000.0);

  card.device.replyOnce(IOCTL_VV_GET_SAMPLE_RATE, {true, -1, {0}, {}});
  EXPECT_EQ(driver->getSampleRate(&rate), ASE_NoClock);
  EXPECT_EQ(rate, 0.0);

  rate = -1;
  card.device.replyOnce(IOCTL_VV_GET_SAMPLE_RATE, {false, -1, {44100}, {}});
  EXPECT_EQ(driver->getSampleRate(&rate), ASE_HWMalfunction);
  card.device.replyOnce(IOCTL_VV_GET_SAMPLE_RATE, {true, 2, {44100}, {}});
  EXPECT_EQ(driver->getSampleRate(&rate), ASE_HWMalfunction);
  EXPECT_EQ(rate, -1);
}

TEST_F(DriverTest, SetSampleRateTruncatesAndRespectsSlaving) {
  DriverHandle driver;
  EXPECT_EQ(driver->setSampleRate(44100.9), ASE_OK);
  EXPECT_EQ(card.last(IOCTL_VV_SET_SAMPLE_RATE).inputWord(0), 44100u);

  card.device.replyOnce(IOCTL_VV_SET_SAMPLE_RATE, {false, 0, {}, {}});
  EXPECT_EQ(driver->setSampleRate(96000.0), ASE_NoClock);

  card.device.reply(IOCTL_VV_GET_CLOCK_MODE, {true, -1, {1}, {}});
  size_t sentBefore = card.sent(IOCTL_VV_SET_SAMPLE_RATE);
  EXPECT_EQ(driver->setSampleRate(48000.0), ASE_InvalidMode);
  EXPECT_EQ(card.sent(IOCTL_VV_SET_SAMPLE_RATE), sentBefore);
  EXPECT_EQ(driver->setSampleRate(0.0), ASE_OK);
  EXPECT_EQ(card.last(IOCTL_VV_SET_SAMPLE_RATE).inputWord(0), 0u);

  // Rates no 32-bit integer holds are refused before anything is sent.
  card.device.reply(IOCTL_VV_GET_CLOCK_MODE, {true, -1, {0}, {}});
  sentBefore = card.sent(IOCTL_VV_SET_SAMPLE_RATE);
  EXPECT_EQ(driver->setSampleRate(NAN), ASE_InvalidParameter);
  EXPECT_EQ(driver->setSampleRate(1e12), ASE_InvalidParameter);
  EXPECT_EQ(card.sent(IOCTL_VV_SET_SAMPLE_RATE), sentBefore);
}

// --- clock sources ---

TEST_F(DriverTest, ClockSourcesForOneAndTwoEntries) {
  DriverHandle driver;
  ASIOClockSource clocks[3];
  memset(clocks, 0x55, sizeof clocks);
  long count = 0;
  EXPECT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
  EXPECT_EQ(clocks[0].index, 0x55555555);  // nothing written

  count = 1;
  EXPECT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
  EXPECT_EQ(count, 1);
  EXPECT_STREQ(clocks[0].name, "Internal");
  EXPECT_EQ(clocks[0].isCurrentSource, ASIOFalse);
  EXPECT_EQ(clocks[1].index, 0x55555555);

  count = 3;
  EXPECT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(clocks[0].isCurrentSource, ASIOTrue);
  EXPECT_EQ(clocks[1].index, 1);
  EXPECT_EQ(clocks[1].associatedChannel, 2);
  EXPECT_EQ(clocks[1].associatedGroup, 1);
  EXPECT_STREQ(clocks[1].name, "S/PDIF");
  EXPECT_EQ(clocks[1].isCurrentSource, ASIOFalse);
  EXPECT_EQ(clocks[2].index, 0x55555555);

  card.device.reply(IOCTL_VV_GET_CLOCK_MODE, {true, -1, {1}, {}});
  EXPECT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
  EXPECT_EQ(clocks[0].isCurrentSource, ASIOFalse);
  EXPECT_EQ(clocks[1].isCurrentSource, ASIOTrue);
}

TEST_F(DriverTest, ClocksWorkWithoutInitialisation) {
  card.device.setAvailable(false);
  DriverHandle driver;
  ASIOClockSource clocks[2];
  long count = 2;
  EXPECT_EQ(driver->getClockSources(clocks, &count), ASE_OK);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(clocks[0].isCurrentSource, ASIOTrue);
  EXPECT_EQ(clocks[1].associatedChannel, -2);
  EXPECT_EQ(driver->setClockSource(1), ASE_OK);
  EXPECT_EQ(driver->setClockSource(2), ASE_InvalidParameter);
}

TEST_F(DriverTest, SetClockSourceSelectsAndIgnoresTheOutcome) {
  DriverHandle driver;
  card.device.reply(IOCTL_VV_SELECT_SPDIF_CLOCK, {false, 0, {}, {}});
  EXPECT_EQ(driver->setClockSource(1), ASE_OK);
  EXPECT_EQ(driver->setClockSource(0), ASE_OK);
  EXPECT_EQ(driver->setClockSource(-1), ASE_InvalidParameter);
  EXPECT_EQ(card.sent(IOCTL_VV_SELECT_SPDIF_CLOCK), 1u);
  EXPECT_EQ(card.sent(IOCTL_VV_SELECT_INTERNAL_CLOCK), 1u);
}

// --- channel info ---

TEST_F(DriverTest, ChannelInfoNamesBothDirectionsAlike) {
  DriverHandle driver;
  const char* names[] = {"TX1", "TX2", "TX3-S/PDIF", "TX4-S/PDIF"};
  for (ASIOBool input : {ASIOTrue, ASIOFalse})
    for (long channel = 0; channel < 4; channel++) {
      ASIOChannelInfo info{};
      info.channel = channel;
      info.isInput = input;
      EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
      EXPECT_STREQ(info.name, names[channel]);
      EXPECT_EQ(info.channelGroup, channel >= 2 ? 1 : 0);
      EXPECT_EQ(info.isActive, ASIOTrue);
      EXPECT_EQ(info.type, ASIOSTInt32LSB);
    }
  for (long channel : {-1L, 4L, 40L}) {
    ASIOChannelInfo info{};
    info.channel = channel;
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_InvalidParameter) << channel;
  }
}

// --- createBuffers and disposeBuffers ---

TEST_F(DriverTest, CreateBuffersHandsOutTheCardsHalves) {
  DriverHandle driver;
  ASIOBufferInfo infos[3] = {{ASIOTrue, 3, {}}, {ASIOFalse, 0, {}}, {ASIOFalse, 3, {}}};
  ASIOCallbacks callbacks = host.callbacks();
  card.config.bufferBytes = 128 * 4;
  card.device.reply(IOCTL_VV_SET_BUFFERS, card.configReply());
  EXPECT_EQ(driver->createBuffers(infos, 3, 128, &callbacks), ASE_OK);
  EXPECT_EQ(card.sent(IOCTL_VV_SET_BUFFERS), 1u);
  EXPECT_EQ(card.last(IOCTL_VV_SET_BUFFERS).inputWord(0), 512u);
  EXPECT_EQ(infos[0].buffers[0], card.halfAddress(true, 3, 0));
  EXPECT_EQ(infos[0].buffers[1], card.halfAddress(true, 3, 1));
  EXPECT_EQ(infos[1].buffers[0], card.halfAddress(false, 0, 0));
  EXPECT_EQ(infos[2].buffers[1], card.halfAddress(false, 3, 1));
  EXPECT_EQ(host.messages(), std::vector<long>{kAsioSupportsTimeInfo});

  EXPECT_EQ(driver->createBuffers(infos, 3, 128, &callbacks), ASE_InvalidMode);
  EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
  EXPECT_EQ(driver->createBuffers(infos, 3, 128, &callbacks), ASE_OK);
}

TEST_F(DriverTest, CreateBuffersWithABadChannelLeavesNoBuffers) {
  DriverHandle driver;
  ASIOBufferInfo infos[2] = {{ASIOTrue, 0, {}}, {ASIOFalse, 4, {}}};
  ASIOCallbacks callbacks = host.callbacks();
  EXPECT_EQ(driver->createBuffers(infos, 2, 256, &callbacks), ASE_InvalidMode);
  EXPECT_EQ(infos[0].buffers[0], card.halfAddress(true, 0, 0));  // earlier entries filled
  EXPECT_EQ(infos[1].buffers[0], nullptr);
  EXPECT_EQ(driver->start(), ASE_InvalidMode);
  EXPECT_EQ(card.sent(IOCTL_VV_START), 0u);

  ASIOBufferInfo negative[1] = {{ASIOTrue, -1, {}}};
  EXPECT_EQ(driver->createBuffers(negative, 1, 64, &callbacks), ASE_InvalidMode);
}

TEST_F(DriverTest, CreateBuffersRefusedByTheCard) {
  DriverHandle driver;
  card.device.replyOnce(IOCTL_VV_SET_BUFFERS, {false, -1, {}, {}});
  EXPECT_EQ(createBuffers(driver), ASE_InvalidMode);
  auto shortConfig = card.configReply();
  shortConfig.bytes = sizeof(StreamConfig) - 1;
  card.device.replyOnce(IOCTL_VV_SET_BUFFERS, shortConfig);
  EXPECT_EQ(createBuffers(driver), ASE_InvalidMode);
  auto otherSize = card.configReply();
  reinterpret_cast<StreamConfig*>(otherSize.data.data())->bufferBytes = 96 * 4;
  card.device.replyOnce(IOCTL_VV_SET_BUFFERS, otherSize);
  EXPECT_EQ(createBuffers(driver), ASE_InvalidMode) << "the card set another size";
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(createBuffers(driver), ASE_OK);
}

TEST_F(DriverTest, CreateBuffersRefusesSizesWhoseBytesDoNotFitBeforeTheCard) {
  DriverHandle driver;
  ASIOBufferInfo infos[1] = {{ASIOTrue, 0, {}}};
  ASIOCallbacks callbacks = host.callbacks();
  for (long size : {0L, -64L, static_cast<long>(0x40000020), static_cast<long>(0xC0000040)})
    EXPECT_EQ(driver->createBuffers(infos, 1, size, &callbacks), ASE_InvalidMode) << size;
  EXPECT_EQ(card.sent(IOCTL_VV_SET_BUFFERS), 0u);
}

TEST_F(DriverTest, CreateBuffersWithoutCallbacksIsRefusedBeforeTheCard) {
  DriverHandle driver;
  ASIOBufferInfo infos[1] = {{ASIOTrue, 0, {}}};
  EXPECT_EQ(driver->createBuffers(infos, 1, 64, nullptr), ASE_InvalidParameter);
  EXPECT_EQ(card.sent(IOCTL_VV_SET_BUFFERS), 0u);
}

// --- future, outputReady, controlPanel ---

TEST_F(DriverTest, FutureOffersTimeInfoOnly) {
  DriverHandle driver;
  EXPECT_EQ(driver->future(kAsioCanTimeInfo, nullptr), ASE_SUCCESS);
  EXPECT_EQ(driver->future(kAsioCanTimeCode, nullptr), ASE_NotPresent);
  EXPECT_EQ(driver->future(kAsioEnableTimeCodeRead, nullptr), ASE_NotPresent);
  EXPECT_EQ(driver->outputReady(), ASE_NotPresent);
}

TEST_F(DriverTest, APanelThatStoredNothingAsksForNoReset) {
  vexa::platform::setDialogAnswerer([](vexa::platform::Dialog& dialog) { dialog.pressEscape(); });
  card.storeBufferSize(256);
  DriverHandle driver;
  ASSERT_EQ(createBuffers(driver), ASE_OK);
  EXPECT_EQ(driver->controlPanel(), ASE_OK);
  EXPECT_EQ(host.messages(), std::vector<long>{kAsioSupportsTimeInfo});
  EXPECT_EQ(SettingsKey(ASIO_SETTINGS_KEY).readBufferSize(), 256u);
  vexa::platform::setDialogAnswerer(nullptr);
}

}  // namespace
