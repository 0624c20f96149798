// The ASIO interface's types, records and constants in their published 32-bit Windows layout:
// 32-bit integers, doubles aligned to 8 bytes. Linux i386 aligns doubles in records to 4 by
// default, so every double member is aligned explicitly and each record's size and offsets are
// pinned below.
#pragma once

#include <stddef.h>

typedef long ASIOBool;
enum { ASIOFalse = 0, ASIOTrue = 1 };

typedef long ASIOError;
enum {
  ASE_OK = 0,
  ASE_SUCCESS = 0x3F4847A0,
  ASE_NotPresent = -1000,
  ASE_HWMalfunction = -999,
  ASE_InvalidParameter = -998,
  ASE_InvalidMode = -997,
  ASE_SPNotAdvancing = -996,
  ASE_NoClock = -995,
  ASE_NoMemory = -994
};

typedef double ASIOSampleRate;

// 64-bit counts as two 32-bit words, high word first.
struct ASIOSamples {
  unsigned long hi;
  unsigned long lo;
};

struct ASIOTimeStamp {
  unsigned long hi;
  unsigned long lo;
};

typedef long ASIOSampleType;
enum {
  ASIOSTInt16MSB = 0,
  ASIOSTInt24MSB = 1,
  ASIOSTInt32MSB = 2,
  ASIOSTFloat32MSB = 3,
  ASIOSTFloat64MSB = 4,
  ASIOSTInt16LSB = 16,
  ASIOSTInt24LSB = 17,
  ASIOSTInt32LSB = 18,
  ASIOSTFloat32LSB = 19,
  ASIOSTFloat64LSB = 20
};

struct ASIOClockSource {
  long index;
  long associatedChannel;
  long associatedGroup;
  ASIOBool isCurrentSource;
  char name[32];
};

struct ASIOChannelInfo {
  long channel;
  ASIOBool isInput;
  ASIOBool isActive;
  long channelGroup;
  ASIOSampleType type;
  char name[32];
};

struct ASIOBufferInfo {
  ASIOBool isInput;
  long channelNum;
  void* buffers[2];
};

// AsioTimeInfo.flags
enum {
  kSystemTimeValid = 1,
  kSamplePositionValid = 1 << 1,
  kSampleRateValid = 1 << 2,
  kSpeedValid = 1 << 3,
  kSampleRateChanged = 1 << 4,
  kClockSourceChanged = 1 << 5
};

struct AsioTimeInfo {
  alignas(8) double speed;
  ASIOTimeStamp systemTime;
  ASIOSamples samplePosition;
  alignas(8) ASIOSampleRate sampleRate;
  unsigned long flags;
  char reserved[12];
};

// ASIOTimeCode.flags
enum {
  kTcValid = 1,
  kTcRunning = 1 << 1,
  kTcReverse = 1 << 2,
  kTcOnspeed = 1 << 3,
  kTcStill = 1 << 4,
  kTcSpeedValid = 1 << 8
};

struct ASIOTimeCode {
  alignas(8) double speed;
  ASIOSamples timeCodeSamples;
  unsigned long flags;
  char future[64];
};

struct ASIOTime {
  long reserved[4];
  AsioTimeInfo timeInfo;
  ASIOTimeCode timeCode;
};

// The host's callbacks, plain C functions.
struct ASIOCallbacks {
  void (*bufferSwitch)(long doubleBufferIndex, ASIOBool directProcess);
  void (*sampleRateDidChange)(ASIOSampleRate sRate);
  long (*asioMessage)(long selector, long value, void* message, double* opt);
  ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, long doubleBufferIndex,
                                    ASIOBool directProcess);
};

// Selectors of the host's asioMessage.
enum {
  kAsioSelectorSupported = 1,
  kAsioEngineVersion = 2,
  kAsioResetRequest = 3,
  kAsioBufferSizeChange = 4,
  kAsioResyncRequest = 5,
  kAsioLatenciesChanged = 6,
  kAsioSupportsTimeInfo = 7,
  kAsioSupportsTimeCode = 8
};

// Selectors of the driver's future().
enum {
  kAsioEnableTimeCodeRead = 1,
  kAsioDisableTimeCodeRead = 2,
  kAsioSetInputMonitor = 3,
  kAsioTransport = 4,
  kAsioSetInputGain = 5,
  kAsioGetInputMeter = 6,
  kAsioSetOutputGain = 7,
  kAsioGetOutputMeter = 8,
  kAsioCanInputMonitor = 9,
  kAsioCanTimeInfo = 10,
  kAsioCanTimeCode = 11
};

static_assert(sizeof(ASIOBool) == 4 && sizeof(ASIOError) == 4 && sizeof(ASIOSampleType) == 4);
static_assert(sizeof(ASIOSampleRate) == 8);
static_assert(sizeof(void*) == 4, "the ASIO records are laid out for 32-bit code");

static_assert(sizeof(ASIOSamples) == 8 && offsetof(ASIOSamples, lo) == 4);
static_assert(sizeof(ASIOTimeStamp) == 8 && offsetof(ASIOTimeStamp, lo) == 4);

static_assert(sizeof(ASIOClockSource) == 48);
static_assert(offsetof(ASIOClockSource, associatedChannel) == 4);
static_assert(offsetof(ASIOClockSource, associatedGroup) == 8);
static_assert(offsetof(ASIOClockSource, isCurrentSource) == 12);
static_assert(offsetof(ASIOClockSource, name) == 16);

static_assert(sizeof(ASIOChannelInfo) == 52);
static_assert(offsetof(ASIOChannelInfo, isInput) == 4);
static_assert(offsetof(ASIOChannelInfo, isActive) == 8);
static_assert(offsetof(ASIOChannelInfo, channelGroup) == 12);
static_assert(offsetof(ASIOChannelInfo, type) == 16);
static_assert(offsetof(ASIOChannelInfo, name) == 20);

static_assert(sizeof(ASIOBufferInfo) == 16);
static_assert(offsetof(ASIOBufferInfo, channelNum) == 4);
static_assert(offsetof(ASIOBufferInfo, buffers) == 8);

static_assert(sizeof(ASIOCallbacks) == 16);
static_assert(offsetof(ASIOCallbacks, sampleRateDidChange) == 4);
static_assert(offsetof(ASIOCallbacks, asioMessage) == 8);
static_assert(offsetof(ASIOCallbacks, bufferSwitchTimeInfo) == 12);

static_assert(alignof(AsioTimeInfo) == 8 && sizeof(AsioTimeInfo) == 48);
static_assert(offsetof(AsioTimeInfo, speed) == 0);
static_assert(offsetof(AsioTimeInfo, systemTime) == 8);
static_assert(offsetof(AsioTimeInfo, samplePosition) == 16);
static_assert(offsetof(AsioTimeInfo, sampleRate) == 24);
static_assert(offsetof(AsioTimeInfo, flags) == 32);
static_assert(offsetof(AsioTimeInfo, reserved) == 36);

static_assert(alignof(ASIOTimeCode) == 8 && sizeof(ASIOTimeCode) == 88);
static_assert(offsetof(ASIOTimeCode, timeCodeSamples) == 8);
static_assert(offsetof(ASIOTimeCode, flags) == 16);
static_assert(offsetof(ASIOTimeCode, future) == 20);

static_assert(alignof(ASIOTime) == 8 && sizeof(ASIOTime) == 152);
static_assert(offsetof(ASIOTime, timeInfo) == 16);
static_assert(offsetof(ASIOTime, timeInfo.systemTime) == 24);
static_assert(offsetof(ASIOTime, timeInfo.samplePosition) == 32);
static_assert(offsetof(ASIOTime, timeInfo.flags) == 48);
static_assert(offsetof(ASIOTime, timeCode) == 64);
static_assert(offsetof(ASIOTime, timeCode.flags) == 80);
