// Calls the driver the way a C host does: through the raw table of the IASIO pointer, by slot
// number, with the 32-bit Windows conventions (stdcall for IUnknown, thiscall for ASIO).
#include <gtest/gtest.h>

#include <string.h>

#include <vexa/dialog.h>

#include "driver_identity.h"
#include "driver_handle.h"
#include "fake_card.h"
#include "host_recorder.h"

namespace {

#define THISCALL __attribute__((thiscall))
#define STDCALL __attribute__((stdcall))

typedef HRESULT(STDCALL* QueryInterfaceFn)(void*, const IID*, void**);
typedef ULONG(STDCALL* RefFn)(void*);
typedef long(THISCALL* InitFn)(void*, void*);
typedef void(THISCALL* TextFn)(void*, char*);
typedef long(THISCALL* NoArgFn)(void*);
typedef long(THISCALL* TwoLongsFn)(void*, long*, long*);
typedef long(THISCALL* BufferSizeFn)(void*, long*, long*, long*, long*);
typedef long(THISCALL* RateFn)(void*, double);
typedef long(THISCALL* RateOutFn)(void*, double*);
typedef long(THISCALL* ClocksFn)(void*, ASIOClockSource*, long*);
typedef long(THISCALL* LongFn)(void*, long);
typedef long(THISCALL* PositionFn)(void*, ASIOSamples*, ASIOTimeStamp*);
typedef long(THISCALL* ChannelInfoFn)(void*, ASIOChannelInfo*);
typedef long(THISCALL* CreateBuffersFn)(void*, ASIOBufferInfo*, long, long, ASIOCallbacks*);
typedef long(THISCALL* FutureFn)(void*, long, void*);

template <typename Fn>
Fn slot(void* object, int index) {
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<Fn>(table[index]);
}

struct AbiTest : ::testing::Test {
  FakeCard card;
  HostRecorder host;
};

TEST_F(AbiTest, EverySlotAnswersThroughTheRawTable) {
  DriverHandle owner;
  void* iasio = nullptr;
  IUnknown* unknown = static_cast<DriverUnknown*>(owner.get());
  ASSERT_EQ(unknown->QueryInterface(CLSID_TxAsioDriver, &iasio), S_OK);

  // 0-2: IUnknown, forwarded to the outer unknown (here the object's own).
  void* again = nullptr;
  EXPECT_EQ(slot<QueryInterfaceFn>(iasio, 0)(iasio, &CLSID_TxAsioDriver, &again), S_OK);
  EXPECT_EQ(again, iasio);
  EXPECT_EQ(slot<QueryInterfaceFn>(iasio, 0)(iasio, &IID_IClassFactory, &again), E_NOINTERFACE);
  EXPECT_EQ(slot<RefFn>(iasio, 1)(iasio), 4u);
  EXPECT_EQ(slot<RefFn>(iasio, 2)(iasio), 3u);
  slot<RefFn>(iasio, 2)(iasio);

  EXPECT_EQ(slot<InitFn>(iasio, 3)(iasio, nullptr), ASIOTrue);
  char text[128] = {};
  slot<TextFn>(iasio, 4)(iasio, text);
  EXPECT_STREQ(text, "Tarvenix Native");
  EXPECT_EQ(slot<NoArgFn>(iasio, 5)(iasio), 2);
  slot<TextFn>(iasio, 6)(iasio, text);
  EXPECT_STREQ(text, "TX Vexa: initialization failure");

  long a = 0, b = 0, c = 0, d = 0;
  EXPECT_EQ(slot<TwoLongsFn>(iasio, 9)(iasio, &a, &b), ASE_OK);
  EXPECT_EQ(a + b, 8);
  EXPECT_EQ(slot<TwoLongsFn>(iasio, 10)(iasio, &a, &b), ASE_OK);
  EXPECT_EQ(a, 286);
  EXPECT_EQ(slot<BufferSizeFn>(iasio, 11)(iasio, &a, &b, &c, &d), ASE_OK);
  EXPECT_EQ(a, 32);
  EXPECT_EQ(b, 32768);
  EXPECT_EQ(d, 128);
  EXPECT_EQ(slot<RateFn>(iasio, 12)(iasio, 44100.0), ASE_OK);
  EXPECT_EQ(slot<RateFn>(iasio, 12)(iasio, 8000.0), ASE_NoClock);
  double rate = 0;
  EXPECT_EQ(slot<RateOutFn>(iasio, 13)(iasio, &rate), ASE_OK);
  EXPECT_EQ(rate, 48000.0);
  EXPECT_EQ(slot<RateFn>(iasio, 14)(iasio, 96000.0), ASE_OK);
  EXPECT_EQ(card.last(IOCTL_VV_SET_SAMPLE_RATE).inputWord(0), 96000u);
  ASIOClockSource clocks[2];
  long count = 2;
  EXPECT_EQ(slot<ClocksFn>(iasio, 15)(iasio, clocks, &count), ASE_OK);
  EXPECT_STREQ(clocks[1].name, "S/PDIF");
  EXPECT_EQ(slot<LongFn>(iasio, 16)(iasio, 7), ASE_InvalidParameter);
  ASIOSamples position;
  ASIOTimeStamp stamp;
  EXPECT_EQ(slot<PositionFn>(iasio, 17)(iasio, &position, &stamp), ASE_OK);
  ASIOChannelInfo info{};
  info.channel = 2;
  info.isInput = ASIOTrue;
  EXPECT_EQ(slot<ChannelInfoFn>(iasio, 18)(iasio, &info), ASE_OK);
  EXPECT_STREQ(info.name, "TX3-S/PDIF");

  ASIOBufferInfo buffers[1] = {{ASIOFalse, 1, {}}};
  ASIOCallbacks callbacks = host.callbacks();
  EXPECT_EQ(slot<CreateBuffersFn>(iasio, 19)(iasio, buffers, 1, 256, &callbacks), ASE_OK);
  EXPECT_EQ(buffers[0].buffers[1], card.halfAddress(false, 1, 1));
  EXPECT_EQ(slot<NoArgFn>(iasio, 7)(iasio), ASE_OK);            // start
  EXPECT_EQ(slot<NoArgFn>(iasio, 8)(iasio), ASE_InvalidMode);   // stop while Starting
  EXPECT_EQ(slot<NoArgFn>(iasio, 20)(iasio), ASE_OK);           // disposeBuffers
  EXPECT_EQ(slot<FutureFn>(iasio, 22)(iasio, kAsioCanTimeInfo, nullptr), ASE_SUCCESS);
  EXPECT_EQ(slot<NoArgFn>(iasio, 23)(iasio), ASE_NotPresent);   // outputReady

  vexa::platform::setDialogAnswerer([](vexa::platform::Dialog& dialog) { dialog.pressEscape(); });
  EXPECT_EQ(slot<NoArgFn>(iasio, 21)(iasio), ASE_OK);           // controlPanel
  vexa::platform::setDialogAnswerer(nullptr);

  EXPECT_EQ(slot<RefFn>(iasio, 2)(iasio), 1u);
}

}  // namespace
