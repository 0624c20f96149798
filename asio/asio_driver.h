// The driver object behind IASIO: reports the card, hands the host the card driver's half
// buffers, starts and stops the stream and opens the buffer-size panel.
#pragma once

#include "device_link.h"
#include "driver_unknown.h"
#include "iasio.h"
#include "stream_thread.h"

// IASIO's own IUnknown slots, forwarded to the outer unknown. A class of its own so that the
// driver object can carry both this and the non-delegating unknown, whose slots share names.
class ForwardingIasio : public IASIO {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) final {
    return outer()->QueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() final { return outer()->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() final { return outer()->Release(); }

protected:
  virtual IUnknown* outer() const = 0;
};

class AsioDriver : public ForwardingIasio, public DriverUnknown {
public:
  explicit AsioDriver(IUnknown* outer);
  ~AsioDriver() override;

  ASIOBool ASIO_METHOD init(void* sysHandle) override;
  void ASIO_METHOD getDriverName(char* name) override;
  long ASIO_METHOD getDriverVersion() override;
  void ASIO_METHOD getErrorMessage(char* string) override;
  ASIOError ASIO_METHOD start() override;
  ASIOError ASIO_METHOD stop() override;
  ASIOError ASIO_METHOD getChannels(long* numInputChannels, long* numOutputChannels) override;
  ASIOError ASIO_METHOD getLatencies(long* inputLatency, long* outputLatency) override;
  ASIOError ASIO_METHOD getBufferSize(long* minSize, long* maxSize, long* preferredSize,
                                      long* granularity) override;
  ASIOError ASIO_METHOD canSampleRate(ASIOSampleRate sampleRate) override;
  ASIOError ASIO_METHOD getSampleRate(ASIOSampleRate* sampleRate) override;
  ASIOError ASIO_METHOD setSampleRate(ASIOSampleRate sampleRate) override;
  ASIOError ASIO_METHOD getClockSources(ASIOClockSource* clocks, long* numSources) override;
  ASIOError ASIO_METHOD setClockSource(long reference) override;
  ASIOError ASIO_METHOD getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp) override;
  ASIOError ASIO_METHOD getChannelInfo(ASIOChannelInfo* info) override;
  ASIOError ASIO_METHOD createBuffers(ASIOBufferInfo* bufferInfos, long numChannels,
                                      long bufferSize, ASIOCallbacks* callbacks) override;
  ASIOError ASIO_METHOD disposeBuffers() override;
  ASIOError ASIO_METHOD controlPanel() override;
  ASIOError ASIO_METHOD future(long selector, void* opt) override;
  ASIOError ASIO_METHOD outputReady() override;

  char errorMessage[128];
  DWORD initialized;
  DWORD buffersCreated;
  DeviceLink* device;
  HWND sysHandle;
  ASIOCallbacks callbacks;
  StreamThread* stream;

protected:
  HRESULT nonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  IUnknown* outer() const override { return outerUnknown(); }

private:
  void setErrorMessage(const char* text);
};

// The one driver object per process that may talk to the card; null when there is none.
extern AsioDriver* activeAsioDriver;

// The class table's creation function: a new driver object on outer, or null without memory.
// It never fails otherwise; a driver that could not open reports through init.
DriverUnknown* createAsioDriver(IUnknown* outer, HRESULT* result);

// Highest buffer size offered to hosts, in frames.
constexpr long kAsioMaxBufferSize = 32768;
