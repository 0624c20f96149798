// The records that cross the card-driver boundary, in their exact 32-bit layout, and the
// requests of the driver side. Every address is a 32-bit word in the calling process.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <stddef.h>

#define VV_CTL(function) CTL_CODE(FILE_DEVICE_UNKNOWN, (function), METHOD_BUFFERED, FILE_ANY_ACCESS)

#define IOCTL_VV_OPEN_STREAM VV_CTL(0x14)             // 0x220050
#define IOCTL_VV_START VV_CTL(0x16)                   // 0x220058
#define IOCTL_VV_STOP VV_CTL(0x17)                    // 0x22005C
#define IOCTL_VV_SET_SAMPLE_RATE VV_CTL(0x19)         // 0x220064
#define IOCTL_VV_GET_SAMPLE_RATE VV_CTL(0x1A)         // 0x220068
#define IOCTL_VV_SET_BUFFERS VV_CTL(0x1B)             // 0x22006C
#define IOCTL_VV_SELECT_SPDIF_CLOCK VV_CTL(0x1C)      // 0x220070
#define IOCTL_VV_SELECT_INTERNAL_CLOCK VV_CTL(0x1D)   // 0x220074
#define IOCTL_VV_GET_CLOCK_MODE VV_CTL(0x1E)          // 0x220078
#define IOCTL_VV_WAIT_HALF_BUFFER VV_CTL(0x20)        // 0x220080
#define IOCTL_VV_GET_POSITION VV_CTL(0x22)            // 0x220088
#define IOCTL_VV_SET_START_POSITION VV_CTL(0x23)      // 0x22008C
#define IOCTL_VV_GET_VERSION VV_CTL(0x37)             // 0x2200DC

// The card driver's device name, and the flags it is opened with (a dynamically loaded
// driver that unloads when its last handle closes).
#define VV_DEVICE_NAME "\\\\.\\TX_VV.VXD"
#define VV_OPEN_DISPOSITION CREATE_NEW
#define VV_OPEN_FLAGS FILE_FLAG_DELETE_ON_CLOSE

// Entries in each direction of a StreamConfig; counts above this are never trusted.
constexpr DWORD kMaxStreamChannels = 40;

struct HalfBufferPair {
  DWORD half[2];  // addresses of half 0 and half 1
};

struct StreamConfig {
  DWORD bufferBytes;  // one half of one channel, frames x 4
  DWORD numInputs;    // the last two are the S/PDIF pair
  HalfBufferPair inputs[kMaxStreamChannels];
  DWORD numOutputs;  // the last two are the S/PDIF pair
  HalfBufferPair outputs[kMaxStreamChannels];
  DWORD status;         // address of the StreamStatus block
  DWORD minBufferSize;  // smallest half-buffer size in frames
};

static_assert(sizeof(StreamConfig) == 660);
static_assert(offsetof(StreamConfig, bufferBytes) == 0);
static_assert(offsetof(StreamConfig, numInputs) == 4);
static_assert(offsetof(StreamConfig, inputs) == 8);
static_assert(offsetof(StreamConfig, inputs[1].half[1]) == 20);
static_assert(offsetof(StreamConfig, numOutputs) == 328);
static_assert(offsetof(StreamConfig, outputs) == 332);
static_assert(offsetof(StreamConfig, outputs[1].half[1]) == 344);
static_assert(offsetof(StreamConfig, status) == 652);
static_assert(offsetof(StreamConfig, minBufferSize) == 656);

struct HalfStamp {
  DWORD sampleCount;  // the card's free-running sample count when the half completed; wraps
  DWORD time;         // system time in milliseconds when the half completed
};

// Written by the card driver, read by the clients.
struct StreamStatus {
  DWORD currentHalf;      // the half the card works on; the client's half is currentHalf ^ 1
  DWORD completedHalves;  // since the last IOCTL_VV_START, from 0
  HalfStamp halves[2];
};

static_assert(sizeof(StreamStatus) == 24);
static_assert(offsetof(StreamStatus, currentHalf) == 0);
static_assert(offsetof(StreamStatus, completedHalves) == 4);
static_assert(offsetof(StreamStatus, halves[0].sampleCount) == 8);
static_assert(offsetof(StreamStatus, halves[0].time) == 12);
static_assert(offsetof(StreamStatus, halves[1].sampleCount) == 16);
static_assert(offsetof(StreamStatus, halves[1].time) == 20);

enum OpenResult { Ok = 0, NotAvailable = 1, InUse = 2, VersionMismatch = 3 };

// A 32-bit address from a record, as a pointer in this process.
template <typename T = void>
inline T* addressOf(DWORD address) {
  return reinterpret_cast<T*>(static_cast<ULONG_PTR>(address));
}
