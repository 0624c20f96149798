// The module as a C host sees it: loaded from build/bin, its exports looked up by name, the
// driver aggregated by a host object built from a plain table of stdcall functions, and all
// 33 slots called by number with the argument and result widths of the interface.
#include "buffer_size_panel.h"
#include "easi_test_support.h"

#include <dialog_driver.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace easi_test;

namespace {

#define C_CALL __attribute__((stdcall))

typedef HRESULT(C_CALL* GetClassObjectFn)(const GUID*, const GUID*, void**);
typedef HRESULT(C_CALL* CanUnloadFn)(void);

// The host object of a C program: a table pointer first, then its own data.
struct CHost;
struct CHostTable {
  HRESULT(C_CALL* queryInterface)(CHost*, const GUID*, void**);
  ULONG(C_CALL* addRef)(CHost*);
  ULONG(C_CALL* release)(CHost*);
  LONG(C_CALL* halfBufferDone)(CHost*, LONG);
};
struct CHost {
  const CHostTable* table;
  long references;
  int calls[2];
  void* inner;  // the driver's non-delegating unknown
};

typedef HRESULT(C_CALL* QueryFn)(void*, const GUID*, void**);
typedef ULONG(C_CALL* CountFn)(void*);

HRESULT C_CALL hostQuery(CHost* host, const GUID* iid, void** out) {
  if (std::memcmp(iid, &IID_IUnknown, sizeof(GUID)) == 0) {
    *out = host;
    ++host->references;
    return S_OK;
  }
  if (host->inner) return (*reinterpret_cast<QueryFn**>(host->inner))[0](host->inner, iid, out);
  *out = nullptr;
  return E_NOINTERFACE;
}
ULONG C_CALL hostAddRef(CHost* host) { return static_cast<ULONG>(++host->references); }
ULONG C_CALL hostRelease(CHost* host) { return static_cast<ULONG>(--host->references); }
LONG C_CALL hostHalfBufferDone(CHost* host, LONG half) {
  if (half == 0 || half == 1) ++host->calls[half];
  return 0;
}
const CHostTable hostTable = {hostQuery, hostAddRef, hostRelease, hostHalfBufferDone};

// The driver's slots by number, each with its own exact signature.
class Slots {
public:
  explicit Slots(void* driver) : self_(driver), table_(*static_cast<void***>(driver)) {}
  template <typename R, typename... A>
  R call(int slot, A... arguments) {
    auto function = reinterpret_cast<R(C_CALL*)(void*, A...)>(table_[slot]);
    return function(self_, arguments...);
  }

private:
  void* self_;
  void** table_;
};

// FARPROC is a generic function type; going through void* keeps the cast honest about that.
template <typename F>
F entryPoint(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string modulePath() {
  const char* bin = std::getenv("VEXA_BIN_DIR");
  return std::string(bin ? bin : ".") + "/tx_ve.so";
}

TEST(EasiModuleAbi, ExportsOnlyItsThreeEntryPoints) {
  HMODULE module = LoadLibraryA(modulePath().c_str());
  ASSERT_NE(module, nullptr) << modulePath();
  EXPECT_NE(GetProcAddress(module, "DllMain"), nullptr);
  EXPECT_NE(GetProcAddress(module, "DllGetClassObject"), nullptr);
  EXPECT_NE(GetProcAddress(module, "DllCanUnloadNow"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "DllRegisterServer"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "DllUnregisterServer"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "IID_IEasiDriver"), nullptr);
  FreeLibrary(module);
}

TEST(EasiModuleAbi, EverySlotThroughTheRawTable) {
  FakeCard card;
  card.setPosition(1000);
  HMODULE module = LoadLibraryA(modulePath().c_str());
  ASSERT_NE(module, nullptr) << modulePath();
  auto getClassObject = entryPoint<GetClassObjectFn>(module, "DllGetClassObject");
  auto canUnload = entryPoint<CanUnloadFn>(module, "DllCanUnloadNow");
  ASSERT_TRUE(getClassObject && canUnload);

  void* factory = nullptr;
  ASSERT_EQ(getClassObject(&CLSID_EasiDriver, &IID_IClassFactory, &factory), S_OK);
  Slots factorySlots(factory);
  CHost host = {&hostTable, 1, {0, 0}, nullptr};
  typedef HRESULT(C_CALL * CreateFn)(void*, void*, const GUID*, void**);
  auto create = reinterpret_cast<CreateFn>((*static_cast<void***>(factory))[3]);
  ASSERT_EQ(create(factory, &host, &IID_IUnknown, &host.inner), S_OK);
  factorySlots.call<ULONG>(2);
  EXPECT_EQ(canUnload(), S_FALSE);

  void* driver = nullptr;
  ASSERT_EQ((*static_cast<QueryFn**>(host.inner))[0](host.inner, &IID_IEasiDriver, &driver), S_OK);
  Slots s(driver);

  // 0-2: forwarded to the host.
  void* viaDriver = nullptr;
  EXPECT_EQ(s.call<HRESULT>(0, static_cast<const GUID*>(&IID_IUnknown), &viaDriver), S_OK);
  EXPECT_EQ(viaDriver, &host);
  hostRelease(&host);
  ULONG added = s.call<ULONG>(1);
  EXPECT_EQ(added, static_cast<ULONG>(host.references));
  EXPECT_EQ(s.call<ULONG>(2), added - 1);

  EXPECT_EQ(s.call<LONG>(10), 0);                               // getLastError
  EXPECT_EQ(s.call<LONG>(14, 0L), 6);                           // getChannelCount, closed
  EXPECT_STREQ(s.call<const char*>(15, 0L, 0L), "unknown");     // getChannelName
  EXPECT_EQ(s.call<LONG>(3), 0);                                // openDriver
  EXPECT_EQ(s.call<LONG>(4, 500UL), 0);                         // setStartPosition
  EXPECT_EQ(s.call<LONG>(5, 1L, 2L), 0);                        // prepare
  EXPECT_EQ(host.calls[0] + host.calls[1], 2);
  EXPECT_EQ(s.call<LONG>(6), 0);                                // prepareWithoutPriming
  EXPECT_EQ(s.call<DWORD>(8, 0L, 0L), 1064u);                   // getHalfPosition
  EXPECT_EQ(s.call<DWORD>(9), 1000u);                           // getCurrentPosition
  EXPECT_EQ(s.call<LONG>(14, 1L), 4);                           // getChannelCount
  EXPECT_STREQ(s.call<const char*>(15, 1L, 2L), "VexaEASI in 2");
  EXPECT_EQ(s.call<LONG>(16), 0);
  EXPECT_EQ(s.call<LONG>(17), 4);                               // getSampleRateCount
  EXPECT_EQ(s.call<LONG>(18, 3L), 96000);                       // getSampleRateByIndex
  EXPECT_EQ(s.call<unsigned char>(19, 1L, 16L), 1);             // isFormatSupported
  EXPECT_EQ(s.call<unsigned char>(19, 1L, 24L), 0);
  auto* outputs = s.call<EasiChannelBuffer*>(20, 0L);           // getChannelBuffers
  ASSERT_NE(outputs, nullptr);
  EXPECT_EQ(outputs[1].data, card.config.outputs[1].half[0]);
  EXPECT_EQ(s.call<LONG>(21), 1);
  EXPECT_EQ(s.call<unsigned char>(22, 0L), 0);
  s.call<void>(23, 0L, 0L);                                     // advanceHalfPosition
  EXPECT_EQ(s.call<DWORD>(8, 0L, 0L), 1064u + 512u);
  auto* input = s.call<EasiChannelBuffer*>(24, 1L, 1L, 3L);     // getChannelBuffer
  ASSERT_NE(input, nullptr);
  EXPECT_EQ(input->data, card.config.inputs[3].half[1]);
  EXPECT_EQ(s.call<LONG>(25, 0L), 256);                         // getBufferFrames
  EXPECT_EQ(s.call<LONG>(26, 0L), 0);                           // setSampleRateByIndex
  LONG before27 = 7, after27 = 7;
  EXPECT_EQ(s.call<unsigned char>(27, 0L, &before27, &after27), 0);
  EXPECT_EQ(before27, 0);
  EXPECT_EQ(after27, 0);
  EXPECT_EQ(s.call<LONG>(28, 0L), 1);
  EXPECT_EQ(s.call<float>(29, 0L, 0L), -1.0f);
  EXPECT_EQ(s.call<LONG>(30, 1L, 0L, 0L, 0L), 1);
  EXPECT_EQ(s.call<LONG>(31, 1L, 0L, 0L, 0L), 1);
  // 32: the buffer-size panel of the module's own resources, answered as a user would.
  std::string caption, label;
  {
    vexa::testing::DialogDriver user([&](vexa::testing::ShownDialog& dialog) {
      caption = dialog.caption();
      dialog.drag(IDC_BUFFER_SIZE_SLIDER, 3);
      label = dialog.text(IDC_BUFFER_SIZE_LABEL);
      dialog.pressEnter();
    });
    HWND parent = nullptr;
    EXPECT_EQ(s.call<unsigned char>(32, &parent), 1);
  }
  EXPECT_EQ(caption, "TX EASI Control Panel");
  EXPECT_EQ(label, "256 samples");  // the card's minimum of 32, three steps up
  EXPECT_EQ(SettingsKey(EASI_SETTINGS_KEY).readBufferSize(), 256u);
  {
    vexa::testing::DialogDriver user([](vexa::testing::ShownDialog& dialog) {
      dialog.drag(IDC_BUFFER_SIZE_SLIDER, 8);
      dialog.pressEscape();
    });
    EXPECT_EQ(s.call<unsigned char>(32, static_cast<HWND*>(nullptr)), 0);
  }
  EXPECT_EQ(SettingsKey(EASI_SETTINGS_KEY).readBufferSize(), 256u);

  EXPECT_EQ(s.call<LONG>(7), 0);                                // startStream
  EXPECT_EQ(s.call<LONG>(11), 0);                               // stopStream
  EXPECT_EQ(s.call<LONG>(12), 0);                               // stopAndPrime
  EXPECT_EQ(host.calls[0] + host.calls[1], 4);
  card.endStreamingThread();
  EXPECT_EQ(s.call<LONG>(13), 0);                               // closeDriver
  EXPECT_EQ(s.call<LONG>(10), 0);

  s.call<ULONG>(2);  // the host's reference from the query above
  EXPECT_EQ((*static_cast<CountFn**>(host.inner))[2](host.inner), 0u);
  EXPECT_EQ(host.references, 1);
  EXPECT_EQ(canUnload(), S_OK);
  FreeLibrary(module);
}

}  // namespace
