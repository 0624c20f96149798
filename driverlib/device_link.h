// The drivers' client of the card driver: one handle and the stream configuration it returned.
#pragma once

#include "device_records.h"

class DeviceLink {
public:
  DeviceLink();
  ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // Opens the card driver, checks its version and claims the stream with bufferSize frames.
  OpenResult open(DWORD bufferSize);
  // 0 on success, 1 on failure.
  int setBuffers(DWORD bufferBytes);
  BOOL selectInternalClock();
  BOOL selectSpdifClock();
  bool isSpdifSlaved();
  void close();

  StreamStatus* status() const { return addressOf<StreamStatus>(config.status); }

  HANDLE handle;
  StreamConfig config;

private:
  void clampChannelCounts();
};

// Sends one request on the handle; the byte count is stored in *returned when given.
BOOL deviceRequest(HANDLE handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                   DWORD* returned = nullptr);
