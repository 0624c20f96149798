// The meter program's client of the TX_VV card driver: opens and verifies the driver when
// constructed, sends the control requests, and receives meter data and sample-rate changes
// through its notification routine, which the driver runs as an APC on the thread that
// called Start (only while that thread waits alertably).
#pragma once

#include "llva_device.h"
#include "meter_records.h"

#include <stdint.h>

class LLVAVxDDevice : public LLVADevice {
public:
  // Throws LLVANotInstalledError, LLVAVersionMismatchError or LLVAUnsupportedHWError.
  LLVAVxDDevice(MeterCallbackTarget* meterContext, MeterDataCallback meterCallback,
                LONG initialSampleRate);
  ~LLVAVxDDevice() override;
  LLVAVxDDevice(const LLVAVxDDevice&) = delete;
  LLVAVxDDevice& operator=(const LLVAVxDDevice&) = delete;

  void Start() override;
  void Stop() override;
  LONG GetSampleRate() override;
  void SetSampleRate(LONG rate) override;
  void SetRoute(LONG mode) override;
  LONG GetRoute() override;
  void EngageSlave() override;
  void DisableSlave() override;
  LONG GetSlaveStatus() override;
  void SetSampleRateCallback(MeterCallbackTarget* context, SampleRateCallback callback) override;
  void UnplugCard() override;
  int GetCardState() override;
  int ExchangeRecord(DWORD* record) override;

  // Stops the notifications and closes the handle; later calls do nothing. Never throws.
  void Close();

  // The routine whose address Start hands to the card driver; `record` is the address of a
  // MeterNotification. Never throws.
  static void CALLBACK NotificationRoutine(ULONG_PTR record);
  // Queued by Start ahead of the card driver's first notification; `serial` is the client's.
  static void CALLBACK BeginReceiving(ULONG_PTR serial);

  static const LONG kRouteModes = 5;

private:
  void Dispatch(const MeterNotification& record, uint32_t serial);
  void Acknowledge();
  // Sends a request without buffers; throws NonfatalError(failureText) when it fails.
  void Command(DWORD code, const char* failureText);
  // Reads one word; throws NonfatalError(failureText) when the request fails.
  LONG Query(DWORD code, const char* failureText);

  MeterCallbackTarget* meterContext_;
  MeterDataCallback meterCallback_;
  MeterCallbackTarget* rateContext_ = nullptr;
  SampleRateCallback rateCallback_ = nullptr;
  LONG sampleRate_;
  HANDLE handle_ = nullptr;
  // Tells this client from any other that had or will have its address (see live_clients.h).
  uint32_t serial_ = 0;
};
