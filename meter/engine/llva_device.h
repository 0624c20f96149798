// The meter program's view of the card driver. Failures are thrown as NonfatalError
// (LLVAError subclasses while the client is being opened).
#pragma once

#include "meter_callbacks.h"

#include <windows.h>

class LLVADevice {
public:
  virtual ~LLVADevice() = default;

  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual LONG GetSampleRate() = 0;
  virtual void SetSampleRate(LONG rate) = 0;
  virtual void SetRoute(LONG mode) = 0;
  virtual LONG GetRoute() = 0;
  virtual void EngageSlave() = 0;
  virtual void DisableSlave() = 0;
  virtual LONG GetSlaveStatus() = 0;
  virtual void SetSampleRateCallback(MeterCallbackTarget* context, SampleRateCallback callback) = 0;
  virtual void UnplugCard() = 0;
  virtual int GetCardState() = 0;
  // `record` is 20 bytes (five words); its first word is overwritten with the request code.
  virtual int ExchangeRecord(DWORD* record) = 0;
};
