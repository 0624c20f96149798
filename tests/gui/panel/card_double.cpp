// Stands in for the card before tx_ascp's WinMain runs: a card driver of version 0 that grants
// the stream with a minimum of 32 frames, or none at all when VEXA_TEST_NO_CARD is set.
#include "device_records.h"

#include <device_double.h>

#include <cstdlib>

namespace {

struct CardDouble {
  CardDouble() {
    using vexa::testing::DeviceReply;
    device.setAvailable(std::getenv("VEXA_TEST_NO_CARD") == nullptr);
    device.reply(IOCTL_VV_GET_VERSION, DeviceReply{true, 4, {0}, {}});
    DeviceReply stream;
    stream.words.assign(sizeof(StreamConfig) / 4, 0);
    stream.words[offsetof(StreamConfig, minBufferSize) / 4] = 32;
    device.reply(IOCTL_VV_OPEN_STREAM, stream);
  }
  vexa::testing::DeviceDouble device;
} card;

}  // namespace
