// IASIO, the interface an ASIO host drives. Its 24 slots follow the published 32-bit Windows
// ABI: the three IUnknown slots are stdcall, the ASIO operations are C++ member calls, which on
// 32-bit Windows means thiscall (the object in ECX). The Linux build spells thiscall out so
// that a host written for that ABI calls this interface unchanged.
#pragma once

#include <objbase.h>

#include "asio_types.h"

#define ASIO_METHOD __attribute__((thiscall))

struct IASIO : public IUnknown {
  virtual ASIOBool ASIO_METHOD init(void* sysHandle) = 0;
  virtual void ASIO_METHOD getDriverName(char* name) = 0;
  virtual long ASIO_METHOD getDriverVersion() = 0;
  virtual void ASIO_METHOD getErrorMessage(char* string) = 0;
  virtual ASIOError ASIO_METHOD start() = 0;
  virtual ASIOError ASIO_METHOD stop() = 0;
  virtual ASIOError ASIO_METHOD getChannels(long* numInputChannels, long* numOutputChannels) = 0;
  virtual ASIOError ASIO_METHOD getLatencies(long* inputLatency, long* outputLatency) = 0;
  virtual ASIOError ASIO_METHOD getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                              long* granularity) = 0;
  virtual ASIOError ASIO_METHOD canSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError ASIO_METHOD getSampleRate(ASIOSampleRate* sampleRate) = 0;
  virtual ASIOError ASIO_METHOD setSampleRate(ASIOSampleRate sampleRate) = 0;
  virtual ASIOError ASIO_METHOD getClockSources(ASIOClockSource* clocks, long* numSources) = 0;
  virtual ASIOError ASIO_METHOD setClockSource(long reference) = 0;
  virtual ASIOError ASIO_METHOD getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) = 0;
  virtual ASIOError ASIO_METHOD getChannelInfo(ASIOChannelInfo* info) = 0;
  virtual ASIOError ASIO_METHOD createBuffers(ASIOBufferInfo* bufferInfos, long numChannels,
                                              long bufferSize, ASIOCallbacks* callbacks) = 0;
  virtual ASIOError ASIO_METHOD disposeBuffers() = 0;
  virtual ASIOError ASIO_METHOD controlPanel() = 0;
  virtual ASIOError ASIO_METHOD future(long selector, void* opt) = 0;
  virtual ASIOError ASIO_METHOD outputReady() = 0;
};

// Slot numbers, for hosts that call through the raw table.
enum IasioSlot {
  kSlotQueryInterface, kSlotAddRef, kSlotRelease, kSlotInit, kSlotGetDriverName,
  kSlotGetDriverVersion, kSlotGetErrorMessage, kSlotStart, kSlotStop, kSlotGetChannels,
  kSlotGetLatencies, kSlotGetBufferSize, kSlotCanSampleRate, kSlotGetSampleRate,
  kSlotSetSampleRate, kSlotGetClockSources, kSlotSetClockSource, kSlotGetSamplePosition,
  kSlotGetChannelInfo, kSlotCreateBuffers, kSlotDisposeBuffers, kSlotControlPanel, kSlotFuture,
  kSlotOutputReady, kIasioSlotCount
};
static_assert(kIasioSlotCount == 24);
