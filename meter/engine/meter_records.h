// The meter program's requests to the card driver and the records they exchange, in their
// exact 32-bit layout.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <stddef.h>

#define LLVA_CTL(function) CTL_CODE(FILE_DEVICE_UNKNOWN, (function), METHOD_BUFFERED, FILE_ANY_ACCESS)

#define IOCTL_LLVA_GET_INFO LLVA_CTL(0x28)             // 0x2200A0, 48-byte DeviceInfoRecord out
#define IOCTL_LLVA_SET_ROUTE LLVA_CTL(0x29)            // 0x2200A4, 4 in: routing mode 0 to 4
#define IOCTL_LLVA_START LLVA_CTL(0x2C)                // 0x2200B0, 8 in: routine, context
#define IOCTL_LLVA_STOP LLVA_CTL(0x2D)                 // 0x2200B4
#define IOCTL_LLVA_ACKNOWLEDGE LLVA_CTL(0x2E)          // 0x2200B8
#define IOCTL_LLVA_ENGAGE_SLAVE LLVA_CTL(0x2F)         // 0x2200BC
#define IOCTL_LLVA_DISABLE_SLAVE LLVA_CTL(0x30)        // 0x2200C0
#define IOCTL_LLVA_GET_SLAVE_STATUS LLVA_CTL(0x31)     // 0x2200C4, 4 out
#define IOCTL_LLVA_UNPLUG_CARD LLVA_CTL(0x32)          // 0x2200C8
#define IOCTL_LLVA_GET_CARD_STATE LLVA_CTL(0x33)       // 0x2200CC, 4 out
#define IOCTL_LLVA_GET_ROUTE LLVA_CTL(0x34)            // 0x2200D0, 4 out
#define IOCTL_LLVA_SET_SAMPLE_RATE LLVA_CTL(0x35)      // 0x2200D4, 4 in: rate in Hz
#define IOCTL_LLVA_GET_VERSION LLVA_CTL(0x37)          // 0x2200DC, 4 out: 0 is accepted
#define IOCTL_LLVA_EXCHANGE_RECORD LLVA_CTL(0x38)      // 0x2200E0, 20 in

static_assert(IOCTL_LLVA_GET_INFO == 0x2200A0 && IOCTL_LLVA_EXCHANGE_RECORD == 0x2200E0);

enum MeterNotificationKind { kMeterData = 1, kSampleRateChange = 2 };

// Handed by the card driver to the notification routine. Addresses are 32-bit words.
struct MeterNotification {
  DWORD kind;
  DWORD word1;    // kind 1: channel-1 block address; kind 2: the new rate in Hz (0 = no clock)
  DWORD word2;    // kind 1: channel-2 block address
  LONG count;     // kind 1: samples in each block
  DWORD context;  // the client given to the start request
};

static_assert(sizeof(MeterNotification) == 20);
static_assert(offsetof(MeterNotification, kind) == 0);
static_assert(offsetof(MeterNotification, word1) == 4);
static_assert(offsetof(MeterNotification, word2) == 8);
static_assert(offsetof(MeterNotification, count) == 12);
static_assert(offsetof(MeterNotification, context) == 16);

// The answer to the information request, as far as the client reads it.
struct DeviceInfoRecord {
  DWORD word0;
  DWORD supported;    // must be non-zero
  DWORD unsupported;  // must be zero
  DWORD words3to5[3];
  DWORD sampleRate;   // current rate in Hz
  DWORD words7to11[5];
};

static_assert(sizeof(DeviceInfoRecord) == 48);
static_assert(offsetof(DeviceInfoRecord, supported) == 4);
static_assert(offsetof(DeviceInfoRecord, unsupported) == 8);
static_assert(offsetof(DeviceInfoRecord, sampleRate) == 24);

// The start request's record: the routine the card driver calls, and its context.
struct MeterStartRecord {
  DWORD routine;
  DWORD context;
};

static_assert(sizeof(MeterStartRecord) == 8);
