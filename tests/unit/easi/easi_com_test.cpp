// The COM server: entry points, factories, aggregation and the unload counts.
#include "easi_class_factory.h"
#include "easi_test_support.h"

#include <gtest/gtest.h>

using namespace easi_test;

namespace {

const CLSID someClass = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};

IClassFactory* newFactory() {
  void* out = nullptr;
  EXPECT_EQ(DllGetClassObject(someClass, IID_IClassFactory, &out), S_OK);
  return static_cast<IClassFactory*>(out);
}

TEST(EasiComServer, AnyClassIsServedButOnlyFactoryInterfaces) {
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(DllGetClassObject(IID_IEasiDriver, IID_IEasiDriver, &out), E_NOINTERFACE);
  EXPECT_EQ(out, reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(DllGetClassObject(someClass, IID_IClassFactory, nullptr), E_OUTOFMEMORY);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  ASSERT_EQ(DllGetClassObject(CLSID_EasiDriver, IID_IUnknown, &out), S_OK);
  auto* asUnknown = static_cast<IClassFactory*>(out);
  void* factory = nullptr;
  EXPECT_EQ(asUnknown->QueryInterface(IID_IClassFactory, &factory), S_OK);
  EXPECT_EQ(factory, out);
  EXPECT_EQ(asUnknown->QueryInterface(IID_IEasiDriver, &factory), E_NOINTERFACE);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(asUnknown->Release(), 1u);
  EXPECT_EQ(asUnknown->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(EasiComServer, EachCallMakesItsOwnFactoryAndKeepsTheModuleLoaded) {
  IClassFactory* first = newFactory();
  IClassFactory* second = newFactory();
  EXPECT_NE(first, second);
  EXPECT_EQ(first->AddRef(), 2u);
  EXPECT_EQ(first->Release(), 1u);
  EXPECT_EQ(second->AddRef(), 2u);
  EXPECT_EQ(second->Release(), 1u);

  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  first->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  second->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(EasiComServer, LockServerHoldsTheModuleAfterEveryObjectHasGone) {
  IClassFactory* factory = newFactory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);

  factory = newFactory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(EasiComServer, AnAggregatingHostGetsOnlyTheNonDelegatingUnknown) {
  RecordingHost host;
  IClassFactory* factory = newFactory();
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(&host, IID_IEasiDriver, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(&host, IID_IClassFactory, &out), CLASS_E_NOAGGREGATION);

  ASSERT_EQ(factory->CreateInstance(&host, IID_IUnknown, &out), S_OK);
  factory->Release();
  auto* inner = static_cast<IUnknown*>(out);
  EXPECT_EQ(inner->AddRef(), 2u);
  EXPECT_EQ(inner->Release(), 1u);
  EXPECT_EQ(host.references.load(), 1);

  // The driver's interface counts on the host's unknown, not on the driver.
  void* driverOut = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IEasiDriver, &driverOut), S_OK);
  auto* driver = static_cast<IEasiDriver*>(driverOut);
  EXPECT_EQ(host.references.load(), 2);
  driver->AddRef();
  EXPECT_EQ(host.references.load(), 3);
  EXPECT_EQ(inner->AddRef(), 2u);
  EXPECT_EQ(inner->Release(), 1u);
  driver->Release();
  driver->Release();
  EXPECT_EQ(host.references.load(), 1);

  // Its QueryInterface is the host's.
  void* viaDriver = nullptr;
  host.inner = inner;
  ASSERT_EQ(driver->QueryInterface(IID_IUnknown, &viaDriver), S_OK);
  EXPECT_EQ(viaDriver, static_cast<IUnknown*>(&host));
  host.Release();

  EXPECT_EQ(DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(EasiComServer, AnUnaggregatedDriverCountsOnItselfAndARefusedOneGoesAtOnce) {
  IClassFactory* factory = newFactory();
  void* out = nullptr;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  factory->Release();
  EXPECT_EQ(DllCanUnloadNow(), S_OK);

  factory = newFactory();
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IEasiDriver, &out), S_OK);
  factory->Release();
  auto* driver = static_cast<IEasiDriver*>(out);
  EXPECT_EQ(driver->AddRef(), 2u);
  EXPECT_EQ(driver->Release(), 1u);
  EXPECT_STREQ(driver->getChannelName(0, 0), "unknown");
  EXPECT_EQ(driver->Release(), 0u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

TEST(EasiComServer, ReleasingARunningDriverStopsItAndEndsItsThreadFirst) {
  FakeCard card;
  RecordingHost host;
  IClassFactory* factory = newFactory();
  void* out = nullptr;
  ASSERT_EQ(factory->CreateInstance(&host, IID_IUnknown, &out), S_OK);
  factory->Release();
  auto* inner = static_cast<IUnknown*>(out);
  void* driverOut = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IEasiDriver, &driverOut), S_OK);
  auto* driver = static_cast<IEasiDriver*>(driverOut);
  driver->Release();  // the host's own reference; the inner unknown keeps the driver

  ASSERT_EQ(driver->openDriver(), 0);
  ASSERT_EQ(driver->prepare(0, 0), 0);
  ASSERT_EQ(driver->startStream(), 0);
  host.forget();

  card.endStreamingThread();
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(host.halves().size(), 2u);
  EXPECT_EQ(card.requestsWith(IOCTL_VV_STOP), 3u);
  EXPECT_EQ(card.device.closedCount(), 1u);
  EXPECT_EQ(DllCanUnloadNow(), S_OK);
}

}  // namespace
