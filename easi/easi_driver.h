// The card's EASI driver object: opens the card driver, describes its channel buffers to the
// host, starts and stops the stream, stamps half-buffer positions and, from its streaming
// thread, hands every finished half to the host's callback object.
#pragma once

#include "easi_driver_defaults.h"

#include <device_link.h>

#include "easi_stream.h"

#include <atomic>

enum class EasiState : LONG { Closed = 0, Open = 1, Running = 2, Stopped = 4, Closing = 5 };

class EasiDriver : public EasiDriverDefaults {
public:
  // `outer` is both the outer unknown and the host's callback object; it may be null, and
  // then nothing is ever called back.
  explicit EasiDriver(IUnknown* outer);
  ~EasiDriver() override;

  LONG STDMETHODCALLTYPE openDriver() override;
  LONG STDMETHODCALLTYPE setStartPosition(DWORD position) override;
  LONG STDMETHODCALLTYPE prepare(LONG unused1, LONG unused2) override;
  LONG STDMETHODCALLTYPE prepareWithoutPriming() override;
  LONG STDMETHODCALLTYPE startStream() override;
  DWORD STDMETHODCALLTYPE getHalfPosition(LONG half, LONG direction) override;
  DWORD STDMETHODCALLTYPE getCurrentPosition() override;
  LONG STDMETHODCALLTYPE getLastError() override;
  LONG STDMETHODCALLTYPE stopStream() override;
  LONG STDMETHODCALLTYPE stopAndPrime() override;
  LONG STDMETHODCALLTYPE closeDriver() override;
  LONG STDMETHODCALLTYPE getChannelCount(LONG direction) override;
  const char* STDMETHODCALLTYPE getChannelName(LONG direction, LONG channel) override;
  LONG STDMETHODCALLTYPE getCapabilities() override;
  LONG STDMETHODCALLTYPE getSampleRateCount() override;
  LONG STDMETHODCALLTYPE getSampleRateByIndex(LONG index) override;
  EasiBool STDMETHODCALLTYPE isFormatSupported(LONG direction, LONG format) override;
  EasiChannelBuffer* STDMETHODCALLTYPE getChannelBuffers(LONG direction) override;
  EasiBool STDMETHODCALLTYPE supportsInputMonitoring(LONG channel) override;
  void STDMETHODCALLTYPE advanceHalfPosition(LONG half, LONG direction) override;
  EasiChannelBuffer* STDMETHODCALLTYPE getChannelBuffer(LONG half, LONG direction,
                                                        LONG channel) override;
  LONG STDMETHODCALLTYPE getBufferFrames(LONG unused) override;
  LONG STDMETHODCALLTYPE setSampleRateByIndex(LONG index) override;
  EasiBool STDMETHODCALLTYPE getExtraLatency(LONG direction, LONG* before, LONG* after) override;
  LONG STDMETHODCALLTYPE getClockSourceCount(LONG direction) override;
  FLOAT STDMETHODCALLTYPE getChannelGain(LONG direction, LONG channel) override;
  LONG STDMETHODCALLTYPE connectMonitor(LONG inputDirection, LONG inputChannel,
                                        LONG outputDirection, LONG outputChannel) override;
  LONG STDMETHODCALLTYPE disconnectMonitor(LONG inputDirection, LONG inputChannel,
                                           LONG outputDirection, LONG outputChannel) override;
  EasiBool STDMETHODCALLTYPE showControlPanel(HWND* parent) override;

  // For diagnostics and tests.
  EasiState currentState() const { return static_cast<EasiState>(state.load()); }
  DWORD issuedCallbacks() const { return stream ? stream->callbacksIssued.load() : 0; }
  bool hasStreamingThread() const { return stream && stream->threadHandle(); }

private:
  bool is(EasiState s) const { return state.load() == static_cast<LONG>(s); }
  void enter(EasiState s);
  // No callback starts after this returns; one in progress is waited for, within bounds.
  void waitForCallbackInProgress();
  void resetCallbackCount();
  LONG refuse();
  LONG record(LONG code);
  bool deviceOpen() const;
  BOOL request(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize);
  DWORD readPosition();
  // The card's status block; a card that gave no address reads as all zero.
  const volatile StreamStatus& streamStatus() const;
  bool hostLagging() const;
  void callHost(LONG half);
  bool makeDescriptors();
  void releaseDescriptors();
  void forgetDevice();

  // Both threads touch these; each is one aligned word, read and written whole.
  std::atomic<LONG> state;
  IEasiHost* const host;
  LONG lastError;
  DeviceLink* device;
  EasiChannelBuffer* outputBuffers[2];
  EasiChannelBuffer* inputBuffers[2];
  DWORD outputHalfPosition[2];
  DWORD inputHalfPosition[2];
  DWORD startPosition;
  // The streaming thread and what it shares with this object; null while not open.
  EasiStream* stream;
  // While closing: when it began. Every wait of the close comes out of one 500 ms.
  DWORD closeStart_;
  bool closing_;
};

static_assert(std::atomic<LONG>::is_always_lock_free);
static_assert(std::atomic<DWORD>::is_always_lock_free);
static_assert(sizeof(std::atomic<LONG>) == 4 && sizeof(std::atomic<DWORD>) == 4);
