// The EASI driver interface as hosts call it: IEasiDriver (33 slots), the host's IEasiHost
// callback object and the 24-byte channel buffer descriptor, with the widths a C host relies on.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <stddef.h>

// One-byte boolean results: a host reads AL only.
typedef unsigned char EasiBool;

// Directions and halves as the interface numbers them.
enum : LONG { EASI_OUTPUT = 0, EASI_INPUT = 1 };

// Error codes: results of the operations that report one, and the last-error word.
enum : LONG {
  EASI_OK = 0,
  EASI_NOT_AVAILABLE = 2,  // the card driver cannot be opened, or answered a foreign version
  EASI_REQUEST_FAILED = 3,
  EASI_IN_USE = 4,
  EASI_HOST_LAGGING = 5,  // the card has completed more halves than were handed to the host
  EASI_WRONG_STATE = 6,
  EASI_NO_THREAD = -1
};

// Format codes the driver accepts in either direction.
enum : LONG {
  EASI_FORMAT_8 = 8,
  EASI_FORMAT_12 = 12,
  EASI_FORMAT_16 = 16,
  EASI_FORMAT_20 = 20
};

struct EasiChannelBuffer {
  DWORD data;  // address of the card's half buffer for this channel
  LONG half;
  LONG channels;
  LONG frames;
  LONG bytesPerSample;
  FLOAT fullScale;
};

static_assert(sizeof(EasiBool) == 1);
static_assert(sizeof(FLOAT) == 4);
static_assert(sizeof(EasiChannelBuffer) == 24);
static_assert(offsetof(EasiChannelBuffer, data) == 0);
static_assert(offsetof(EasiChannelBuffer, half) == 4);
static_assert(offsetof(EasiChannelBuffer, channels) == 8);
static_assert(offsetof(EasiChannelBuffer, frames) == 12);
static_assert(offsetof(EasiChannelBuffer, bytesPerSample) == 16);
static_assert(offsetof(EasiChannelBuffer, fullScale) == 20);

// The largest single below 2^31 (bits 0x4EFFFFFC): full scale of a 32-bit sample.
constexpr FLOAT kEasiFullScale = 2147483136.0f;

// {C1D06481-CB39-11D2-A7E0-0000B43F4FFC}
inline constexpr IID IID_IEasiDriver = {
    0xC1D06481, 0xCB39, 0x11D2, {0xA7, 0xE0, 0x00, 0x00, 0xB4, 0x3F, 0x4F, 0xFC}};
// {C1D06480-CB39-11D2-A7E0-0000B43F4FFC}: the identifier one below the interface's. The driver
// itself never looks at it; hosts may name the class by it (any class identifier is served).
inline constexpr CLSID CLSID_EasiDriver = {
    0xC1D06480, 0xCB39, 0x11D2, {0xA7, 0xE0, 0x00, 0x00, 0xB4, 0x3F, 0x4F, 0xFC}};

// The host's callback object; the driver's outer unknown when it is aggregated.
struct IEasiHost : public IUnknown {
  // Process `half` of every channel buffer: fill the outputs, take the inputs. Result ignored.
  virtual LONG STDMETHODCALLTYPE halfBufferDone(LONG half) = 0;
};

// Slot numbers are counted from QueryInterface (slot 0).
struct IEasiDriver : public IUnknown {
  virtual LONG STDMETHODCALLTYPE openDriver() = 0;                                  // 3
  virtual LONG STDMETHODCALLTYPE setStartPosition(DWORD position) = 0;              // 4
  virtual LONG STDMETHODCALLTYPE prepare(LONG unused1, LONG unused2) = 0;           // 5
  virtual LONG STDMETHODCALLTYPE prepareWithoutPriming() = 0;                       // 6
  virtual LONG STDMETHODCALLTYPE startStream() = 0;                                 // 7
  virtual DWORD STDMETHODCALLTYPE getHalfPosition(LONG half, LONG direction) = 0;   // 8
  virtual DWORD STDMETHODCALLTYPE getCurrentPosition() = 0;                         // 9
  virtual LONG STDMETHODCALLTYPE getLastError() = 0;                                // 10
  virtual LONG STDMETHODCALLTYPE stopStream() = 0;                                  // 11
  virtual LONG STDMETHODCALLTYPE stopAndPrime() = 0;                                // 12
  virtual LONG STDMETHODCALLTYPE closeDriver() = 0;                                 // 13
  virtual LONG STDMETHODCALLTYPE getChannelCount(LONG direction) = 0;               // 14
  virtual const char* STDMETHODCALLTYPE getChannelName(LONG direction, LONG channel) = 0;  // 15
  // Optional capabilities the driver offers: none.
  virtual LONG STDMETHODCALLTYPE getCapabilities() = 0;                             // 16
  virtual LONG STDMETHODCALLTYPE getSampleRateCount() = 0;                          // 17
  virtual LONG STDMETHODCALLTYPE getSampleRateByIndex(LONG index) = 0;              // 18
  virtual EasiBool STDMETHODCALLTYPE isFormatSupported(LONG direction, LONG format) = 0;  // 19
  virtual EasiChannelBuffer* STDMETHODCALLTYPE getChannelBuffers(LONG direction) = 0;     // 20
  // The interface revision the driver speaks.
  virtual LONG STDMETHODCALLTYPE getInterfaceVersion() = 0;                         // 21
  // Whether input monitoring can be switched on for a channel: never.
  virtual EasiBool STDMETHODCALLTYPE supportsInputMonitoring(LONG channel) = 0;     // 22
  virtual void STDMETHODCALLTYPE advanceHalfPosition(LONG half, LONG direction) = 0;  // 23
  virtual EasiChannelBuffer* STDMETHODCALLTYPE getChannelBuffer(LONG half, LONG direction,
                                                                LONG channel) = 0;  // 24
  virtual LONG STDMETHODCALLTYPE getBufferFrames(LONG unused) = 0;                  // 25
  virtual LONG STDMETHODCALLTYPE setSampleRateByIndex(LONG index) = 0;              // 26
  // Extra latency of a direction before and after the buffers, in frames: not known.
  virtual EasiBool STDMETHODCALLTYPE getExtraLatency(LONG direction, LONG* before,
                                                     LONG* after) = 0;              // 27
  virtual LONG STDMETHODCALLTYPE getClockSourceCount(LONG direction) = 0;           // 28
  // Gain of a channel; -1.0 means the card has no gain control.
  virtual FLOAT STDMETHODCALLTYPE getChannelGain(LONG direction, LONG channel) = 0;  // 29
  // Routing an input to an output for monitoring; 1: not available on this card.
  virtual LONG STDMETHODCALLTYPE connectMonitor(LONG inputDirection, LONG inputChannel,
                                                LONG outputDirection,
                                                LONG outputChannel) = 0;            // 30
  virtual LONG STDMETHODCALLTYPE disconnectMonitor(LONG inputDirection, LONG inputChannel,
                                                   LONG outputDirection,
                                                   LONG outputChannel) = 0;         // 31
  virtual EasiBool STDMETHODCALLTYPE showControlPanel(HWND* parent) = 0;            // 32
};
