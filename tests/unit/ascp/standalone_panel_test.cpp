// tx_ascp against the device double: one message box per failure, no request after the
// failing one, the handle closed, exit code 0; the panel on the claimed stream's minimum.
#include "standalone_panel.h"

#include "buffer_size_panel.h"
#include "device_records.h"
#include "settings_key.h"

#include <device_double.h>
#include <dialog_driver.h>
#include <message_box_capture.h>
#include <private_registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using vexa::testing::DeviceReply;
using vexa::testing::DialogDriver;
using vexa::testing::MessageBoxCapture;
using vexa::testing::ShownDialog;

namespace {

// A successful IOCTL_VV_OPEN_STREAM reply: the whole record, with the card's minimum.
DeviceReply streamReply(DWORD minBufferSize, DWORD bufferBytes = 32768) {
  DeviceReply reply;
  reply.words.assign(sizeof(StreamConfig) / 4, 0);
  reply.words[0] = bufferBytes;
  reply.words[offsetof(StreamConfig, minBufferSize) / 4] = minBufferSize;
  return reply;
}

class StandalonePanelTest : public ::testing::Test {
protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    device.reply(IOCTL_VV_GET_VERSION, DeviceReply{true, 4, {0}, {}});
    device.reply(IOCTL_VV_OPEN_STREAM, streamReply(32));
  }

  // Runs the program with the panel answered by `answer`; returns its exit code.
  int runProgram(DialogDriver::Answer answer = [](ShownDialog& d) { d.pressEscape(); }) {
    DialogDriver driver([&](ShownDialog& d) {
      label = d.text(IDC_BUFFER_SIZE_LABEL);
      caption = d.caption();
      answer(d);
    });
    int code = runStandalonePanel(GetModuleHandleA(nullptr));
    panelsShown = driver.shown();
    return code;
  }

  std::vector<DWORD> codesSent() {
    std::vector<DWORD> codes;
    for (const auto& r : device.requests()) codes.push_back(r.code);
    return codes;
  }

  void expectOneMessage(const char* text) {
    auto calls = boxes.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, text);
    EXPECT_EQ(calls[0].caption, "TX ASIO 2 Control Panel (standalone)");
    EXPECT_EQ(calls[0].type, 0x10u);
    EXPECT_EQ(calls[0].owner, nullptr);
  }

  vexa::testing::PrivateRegistry registry;
  vexa::testing::DeviceDouble device;
  MessageBoxCapture boxes;
  std::string label;
  std::string caption;
  int panelsShown = 0;
};

TEST_F(StandalonePanelTest, NoCardDriverShowsItsMessageOnly) {
  device.setAvailable(false);
  EXPECT_EQ(runProgram(), 0);
  expectOneMessage("Could not open the Tarvenix VxD");
  EXPECT_TRUE(device.requests().empty());
  EXPECT_EQ(panelsShown, 0);
}

TEST_F(StandalonePanelTest, VersionMismatchStopsBeforeTheClaim) {
  const DeviceReply replies[] = {
      {true, 4, {1}, {}},   // a version word other than 0
      {false, 4, {0}, {}},  // the request fails
      {true, 0, {0}, {}},   // no bytes come back
  };
  for (const DeviceReply& reply : replies) {
    SCOPED_TRACE(::testing::Message() << "ok " << reply.ok << " bytes " << reply.bytes);
    vexa::testing::DeviceDouble fresh;
    fresh.reply(IOCTL_VV_GET_VERSION, reply);
    MessageBoxCapture capture;
    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(capture.calls().size(), 1u);
    EXPECT_EQ(capture.calls()[0].text, "Driver version mismatch");
    ASSERT_EQ(fresh.requests().size(), 1u);
    EXPECT_EQ(fresh.requests()[0].code, static_cast<DWORD>(IOCTL_VV_GET_VERSION));
    EXPECT_EQ(fresh.requests()[0].outSize, 4u);
    EXPECT_EQ(fresh.openCount(), 1u);
    EXPECT_EQ(fresh.closedCount(), 1u);
    EXPECT_EQ(panelsShown, 0);
  }
}

TEST_F(StandalonePanelTest, RefusedClaimSaysInUseAndWritesNothing) {
  SettingsKey(ASIO_SETTINGS_KEY).writeBufferSize(512);
  for (const DeviceReply& reply : {DeviceReply{false, 660, {}, {}}, DeviceReply{true, 0, {}, {}}}) {
    SCOPED_TRACE(::testing::Message() << "ok " << reply.ok << " bytes " << reply.bytes);
    vexa::testing::DeviceDouble fresh;
    fresh.reply(IOCTL_VV_GET_VERSION, DeviceReply{true, 4, {0}, {}});
    fresh.reply(IOCTL_VV_OPEN_STREAM, reply);
    MessageBoxCapture capture;
    EXPECT_EQ(runProgram(), 0);
    ASSERT_EQ(capture.calls().size(), 1u);
    EXPECT_EQ(capture.calls()[0].text, "Sorry, the TX ASIO driver is in use or otherwise not available.");
    ASSERT_EQ(fresh.requests().size(), 2u);
    EXPECT_EQ(fresh.requests()[1].code, static_cast<DWORD>(IOCTL_VV_OPEN_STREAM));
    EXPECT_EQ(fresh.closedCount(), 1u);
    EXPECT_EQ(panelsShown, 0);
  }
  EXPECT_EQ(SettingsKey(ASIO_SETTINGS_KEY).readBufferSize(), 512u);
}

TEST_F(StandalonePanelTest, ClaimCarriesTheStoredSizeAndThePanelStartsFromTheCardsMinimum) {
  SettingsKey(ASIO_SETTINGS_KEY).writeBufferSize(100000);
  device.reply(IOCTL_VV_OPEN_STREAM, streamReply(64));
  EXPECT_EQ(runProgram([](ShownDialog& d) { d.pressEnter(); }), 0);

  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(panelsShown, 1);
  EXPECT_EQ(caption, "TX ASIO 2 Control Panel");
  EXPECT_EQ(label, "16384 samples");  // position 8 of base 64
  EXPECT_EQ(SettingsKey(ASIO_SETTINGS_KEY).readBufferSize(), 16384u);

  // Exactly the version check and the claim, with the whole zeroed record around bufferBytes.
  auto requests = device.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].code, static_cast<DWORD>(IOCTL_VV_GET_VERSION));
  EXPECT_EQ(requests[1].code, static_cast<DWORD>(IOCTL_VV_OPEN_STREAM));
  ASSERT_EQ(requests[1].input.size(), sizeof(StreamConfig));
  EXPECT_EQ(requests[1].outSize, sizeof(StreamConfig));
  EXPECT_EQ(requests[1].inputWord(0), 400000u);
  for (size_t i = 1; i < sizeof(StreamConfig) / 4; ++i) EXPECT_EQ(requests[1].inputWord(i), 0u) << i;
  EXPECT_EQ(device.openCount(), 1u);
  EXPECT_EQ(device.closedCount(), 1u);
}

TEST_F(StandalonePanelTest, MissingValueClaimsTheDefaultAndCancelKeepsItMissing) {
  EXPECT_EQ(runProgram(), 0);
  auto requests = device.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].inputWord(0), 32768u);
  EXPECT_EQ(label, "8192 samples");
  SettingsKey key(ASIO_SETTINGS_KEY);
  DWORD size = 0;
  EXPECT_NE(RegQueryValueExA(key.hkey, "BufferSize", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(device.closedCount(), 1u);
}

TEST_F(StandalonePanelTest, WithoutADisplayThePanelFailsQuietlyAndTheHandleCloses) {
  SettingsKey(ASIO_SETTINGS_KEY).writeBufferSize(256);
  EXPECT_EQ(runStandalonePanel(GetModuleHandleA(nullptr)), 0);
  EXPECT_TRUE(boxes.calls().empty());
  EXPECT_EQ(SettingsKey(ASIO_SETTINGS_KEY).readBufferSize(), 256u);
  EXPECT_EQ(device.closedCount(), 1u);
}

}  // namespace
