#include "device_records.h"

#include <gtest/gtest.h>

// The request codes are built with CTL_CODE; a wrong shift or field order would change every one.
TEST(DeviceRecords, RequestCodesAreTheCardDriversCodes) {
  EXPECT_EQ(0x2200DCu, static_cast<unsigned>(IOCTL_VV_GET_VERSION));
  EXPECT_EQ(0x220050u, static_cast<unsigned>(IOCTL_VV_OPEN_STREAM));
  EXPECT_EQ(0x220058u, static_cast<unsigned>(IOCTL_VV_START));
  EXPECT_EQ(0x22005Cu, static_cast<unsigned>(IOCTL_VV_STOP));
  EXPECT_EQ(0x220064u, static_cast<unsigned>(IOCTL_VV_SET_SAMPLE_RATE));
  EXPECT_EQ(0x220068u, static_cast<unsigned>(IOCTL_VV_GET_SAMPLE_RATE));
  EXPECT_EQ(0x22006Cu, static_cast<unsigned>(IOCTL_VV_SET_BUFFERS));
  EXPECT_EQ(0x220070u, static_cast<unsigned>(IOCTL_VV_SELECT_SPDIF_CLOCK));
  EXPECT_EQ(0x220074u, static_cast<unsigned>(IOCTL_VV_SELECT_INTERNAL_CLOCK));
  EXPECT_EQ(0x220078u, static_cast<unsigned>(IOCTL_VV_GET_CLOCK_MODE));
  EXPECT_EQ(0x220080u, static_cast<unsigned>(IOCTL_VV_WAIT_HALF_BUFFER));
  EXPECT_EQ(0x220088u, static_cast<unsigned>(IOCTL_VV_GET_POSITION));
  EXPECT_EQ(0x22008Cu, static_cast<unsigned>(IOCTL_VV_SET_START_POSITION));
}
