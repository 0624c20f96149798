#include "device_link.h"

#include <device_double.h>

#include <gtest/gtest.h>

#include <cstring>

using vexa::testing::DeviceDouble;
using vexa::testing::DeviceReply;

namespace {

DeviceReply configReply(DWORD bufferBytes, DWORD inputs, DWORD outputs, DWORD minSize,
                        long bytes = sizeof(StreamConfig)) {
  StreamConfig config{};
  config.bufferBytes = bufferBytes;
  config.numInputs = inputs;
  config.numOutputs = outputs;
  for (DWORD i = 0; i < kMaxStreamChannels; ++i) {
    config.inputs[i] = {{0x10000 + 8 * i, 0x20000 + 8 * i}};
    config.outputs[i] = {{0x30000 + 8 * i, 0x40000 + 8 * i}};
  }
  config.status = 0x50000;
  config.minBufferSize = minSize;
  DeviceReply reply;
  reply.bytes = bytes;
  reply.data.resize(sizeof config);
  std::memcpy(reply.data.data(), &config, sizeof config);
  return reply;
}

std::vector<DWORD> codes(const DeviceDouble& device) {
  std::vector<DWORD> sent;
  for (const auto& request : device.requests()) sent.push_back(request.code);
  return sent;
}

}  // namespace

TEST(DeviceLinkOpen, SendsTheStoredSizeInBytesAndKeepsTheReply) {
  DeviceDouble device;
  device.reply(IOCTL_VV_GET_VERSION, {true, 4, {0}, {}});
  device.reply(IOCTL_VV_OPEN_STREAM, configReply(1024, 4, 4, 32));

  DeviceLink link;
  ASSERT_EQ(Ok, link.open(8192));
  EXPECT_NE(INVALID_HANDLE_VALUE, link.handle);
  EXPECT_EQ(1024u, link.config.bufferBytes);
  EXPECT_EQ(32u, link.config.minBufferSize);
  EXPECT_EQ(0x50000u, link.config.status);

  auto requests = device.requests();
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(static_cast<DWORD>(IOCTL_VV_GET_VERSION), requests[0].code);
  EXPECT_EQ(4u, requests[0].outSize);
  EXPECT_EQ(static_cast<DWORD>(IOCTL_VV_OPEN_STREAM), requests[1].code);
  ASSERT_EQ(sizeof(StreamConfig), requests[1].input.size());
  EXPECT_EQ(sizeof(StreamConfig), requests[1].outSize);
  EXPECT_EQ(32768u, requests[1].inputWord(0));
  for (size_t word = 1; word < sizeof(StreamConfig) / 4; ++word)
    ASSERT_EQ(0u, requests[1].inputWord(word)) << "word " << word << " of the request";
}

TEST(DeviceLinkOpen, ReportsEachFailureAndStopsThere) {
  {
    DeviceDouble device;
    device.setAvailable(false);
    DeviceLink link;
    EXPECT_EQ(NotAvailable, link.open(8192));
    EXPECT_EQ(INVALID_HANDLE_VALUE, link.handle);
  }
  struct Case {
    const char* what;
    DeviceReply version;
  } versionFailures[] = {
      {"version word 1", {true, 4, {1}, {}}},
      {"version request fails", {false, 0, {}, {}}},
      {"version with 0 bytes", {true, 0, {0}, {}}},
  };
  for (const auto& failure : versionFailures) {
    DeviceDouble device;
    device.reply(IOCTL_VV_GET_VERSION, failure.version);
    DeviceLink link;
    EXPECT_EQ(VersionMismatch, link.open(8192)) << failure.what;
    EXPECT_NE(INVALID_HANDLE_VALUE, link.handle) << "the handle stays open: " << failure.what;
    EXPECT_EQ(std::vector<DWORD>{IOCTL_VV_GET_VERSION}, codes(device)) << failure.what;
    link.close();
    EXPECT_EQ(1u, device.closedCount());
  }
  for (const DeviceReply& claim : {DeviceReply{true, 0, {}, {}}, DeviceReply{false, 0, {}, {}}}) {
    DeviceDouble device;
    device.reply(IOCTL_VV_GET_VERSION, {true, 4, {0}, {}});
    device.reply(IOCTL_VV_OPEN_STREAM, claim);
    DeviceLink link;
    EXPECT_EQ(InUse, link.open(8192));
  }
}

TEST(DeviceLinkOpen, ChannelCountsAboveTheRecordAreClamped) {
  DeviceDouble device;
  device.reply(IOCTL_VV_GET_VERSION, {true, 4, {0}, {}});
  device.reply(IOCTL_VV_OPEN_STREAM, configReply(1024, 1000, 41, 32));
  device.reply(IOCTL_VV_SET_BUFFERS, configReply(1024, 0xFFFFFFFF, 40, 32));
  DeviceLink link;
  ASSERT_EQ(Ok, link.open(256));
  EXPECT_EQ(40u, link.config.numInputs);
  EXPECT_EQ(40u, link.config.numOutputs);
  ASSERT_EQ(0, link.setBuffers(1024));
  EXPECT_EQ(40u, link.config.numInputs);
  EXPECT_EQ(40u, link.config.numOutputs);
  // A reply that fails the request still lands in the record.
  device.replyOnce(IOCTL_VV_SET_BUFFERS, configReply(1024, 1000, 0xFFFFFFFF, 32, 659));
  EXPECT_EQ(1, link.setBuffers(1024));
  EXPECT_EQ(40u, link.config.numInputs);
  EXPECT_EQ(40u, link.config.numOutputs);
}

TEST(DeviceLinkSetBuffers, SucceedsOnlyWithExactlyAWholeRecord) {
  DeviceDouble device;
  device.reply(IOCTL_VV_GET_VERSION, {true, 4, {0}, {}});
  device.reply(IOCTL_VV_OPEN_STREAM, configReply(1024, 4, 4, 32));
  DeviceLink link;
  ASSERT_EQ(Ok, link.open(256));

  device.replyOnce(IOCTL_VV_SET_BUFFERS, configReply(512, 4, 4, 32, 659));
  EXPECT_EQ(1, link.setBuffers(512));
  device.replyOnce(IOCTL_VV_SET_BUFFERS, configReply(512, 4, 4, 32, 661));
  EXPECT_EQ(1, link.setBuffers(512));
  device.replyOnce(IOCTL_VV_SET_BUFFERS, DeviceReply{false, 660, {}, {}});
  EXPECT_EQ(1, link.setBuffers(512));
  device.replyOnce(IOCTL_VV_SET_BUFFERS, configReply(512, 4, 4, 32));
  EXPECT_EQ(0, link.setBuffers(512));
  EXPECT_EQ(512u, link.config.bufferBytes);

  auto requests = device.requests();
  ASSERT_EQ(static_cast<DWORD>(IOCTL_VV_SET_BUFFERS), requests.back().code);
  ASSERT_EQ(4u, requests.back().input.size());
  EXPECT_EQ(512u, requests.back().inputWord(0));
  EXPECT_EQ(660u, requests.back().outSize);
}

TEST(DeviceLinkClock, SlavedOnlyWhenTheRequestSucceedsWithANonZeroWord) {
  DeviceDouble device;
  device.reply(IOCTL_VV_GET_VERSION, {true, 4, {0}, {}});
  device.reply(IOCTL_VV_OPEN_STREAM, configReply(1024, 4, 4, 32));
  DeviceLink link;
  ASSERT_EQ(Ok, link.open(256));

  device.replyOnce(IOCTL_VV_GET_CLOCK_MODE, {false, 4, {1}, {}});
  EXPECT_FALSE(link.isSpdifSlaved()) << "a failed request reads as internal";
  device.replyOnce(IOCTL_VV_GET_CLOCK_MODE, {true, 4, {0}, {}});
  EXPECT_FALSE(link.isSpdifSlaved());
  device.replyOnce(IOCTL_VV_GET_CLOCK_MODE, {true, 0, {7}, {}});
  EXPECT_TRUE(link.isSpdifSlaved()) << "the byte count is not examined";

  EXPECT_TRUE(link.selectSpdifClock());
  EXPECT_TRUE(link.selectInternalClock());
  auto requests = device.requests();
  EXPECT_EQ(static_cast<DWORD>(IOCTL_VV_SELECT_SPDIF_CLOCK), requests[requests.size() - 2].code);
  EXPECT_EQ(static_cast<DWORD>(IOCTL_VV_SELECT_INTERNAL_CLOCK), requests.back().code);
}

TEST(DeviceLinkClose, ClosesOnceAndOnDestruction) {
  DeviceDouble device;
  device.reply(IOCTL_VV_GET_VERSION, {true, 4, {0}, {}});
  device.reply(IOCTL_VV_OPEN_STREAM, configReply(1024, 4, 4, 32));
  {
    DeviceLink link;
    ASSERT_EQ(Ok, link.open(256));
    link.close();
    EXPECT_EQ(INVALID_HANDLE_VALUE, link.handle);
    link.close();
    EXPECT_EQ(1u, device.closedCount());
    ASSERT_EQ(Ok, link.open(256));
  }
  EXPECT_EQ(2u, device.closedCount());
}
