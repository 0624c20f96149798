// A minimal in-process server: one class with a class factory, DllMain reporting what it sees.
#include "test_server.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "test_server_parts.h"

namespace {

LONG liveObjects = 0;
LONG locks = 0;

void bump(const char* variable) {
  const char* old = getenv(variable);
  char text[16];
  snprintf(text, sizeof text, "%d", (old ? atoi(old) : 0) + 1);
  setenv(variable, text, 1);
}

class TestObject : public ITestObject {
public:
  TestObject() { InterlockedIncrement(&liveObjects); }
  virtual ~TestObject() { InterlockedDecrement(&liveObjects); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_ITestObject) return E_NOINTERFACE;
    *ppv = static_cast<ITestObject*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  STDMETHODIMP_(ULONG) Release() override {
    LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP_(LONG) answer() override { return testServerAnswer(); }

private:
  LONG refs_ = 0;
};

class Factory : public IClassFactory {
public:
  virtual ~Factory() = default;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new TestObject;
    object->AddRef();
    HRESULT result = object->QueryInterface(riid, ppv);
    object->Release();
    return result;
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    locks += lock ? 1 : -1;
    return S_OK;
  }

private:
  ULONG refs_ = 0;
};

}  // namespace

// Not in the export list: must stay invisible outside the module.
extern "C" int testServerHiddenHelper() { return 7; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    bump(TEST_SERVER_ATTACHES);
    bool own = instance && instance == GetModuleHandleA("com_test_server.dll");
    setenv(TEST_SERVER_INSTANCE_OK, own ? "1" : "0", 1);
    setenv(TEST_SERVER_STATICS_READY, testServerAnswer() == 42 ? "1" : "0", 1);
    DisableThreadLibraryCalls(instance);
    if (getenv(TEST_SERVER_REFUSE_ATTACH)) return FALSE;
  } else if (reason == DLL_PROCESS_DETACH) {
    bump(TEST_SERVER_DETACHES);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
  if (rclsid != CLSID_TestServer) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new Factory;
  factory->AddRef();
  *ppv = factory;
  return S_OK;
}

STDAPI DllCanUnloadNow() { return (liveObjects > 0 || locks > 0) ? S_FALSE : S_OK; }
