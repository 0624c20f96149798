#include "aggregating_host.h"

#include <stdio.h>

namespace {

typedef HRESULT(STDAPICALLTYPE* GetClassObject)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* CanUnloadNow)(void);

template <typename F>
F entryPoint(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string hresultText(HRESULT result) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(result));
  return text;
}

}  // namespace

AggregatingHost::~AggregatingHost() { destroy(); }

bool AggregatingHost::create(const std::string& module, std::string* error) {
  module_ = LoadLibraryA(module.c_str());
  if (!module_) {
    *error = "cannot load " + module + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  auto getClassObject = entryPoint<GetClassObject>(module_, "DllGetClassObject");
  if (!getClassObject) {
    *error = module + " has no DllGetClassObject";
    return false;
  }
  IClassFactory* factory = nullptr;
  HRESULT result = getClassObject(CLSID_EasiDriver, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
  if (FAILED(result) || !factory) {
    *error = "DllGetClassObject failed: " + hresultText(result);
    return false;
  }
  result = factory->CreateInstance(this, IID_IUnknown, reinterpret_cast<void**>(&inner_));
  factory->Release();
  if (FAILED(result) || !inner_) {
    *error = "CreateInstance failed: " + hresultText(result);
    inner_ = nullptr;
    return false;
  }
  result = inner_->QueryInterface(IID_IEasiDriver, reinterpret_cast<void**>(&driver_));
  if (FAILED(result) || !driver_) {
    *error = "the driver does not offer IEasiDriver: " + hresultText(result);
    driver_ = nullptr;
    return false;
  }
  return true;
}

void AggregatingHost::destroy() {
  if (driver_) {
    driver_->Release();  // counted on this object
    driver_ = nullptr;
  }
  if (inner_) {
    inner_->Release();  // the last reference: the driver object goes
    inner_ = nullptr;
  }
  if (module_) {
    auto canUnload = entryPoint<CanUnloadNow>(module_, "DllCanUnloadNow");
    if (!canUnload || canUnload() == S_OK) FreeLibrary(module_);
    module_ = nullptr;
  }
}

HRESULT STDMETHODCALLTYPE AggregatingHost::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualGUID(iid, IID_IUnknown)) {
    *out = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  if (IsEqualGUID(iid, IID_IEasiDriver) && inner_) return inner_->QueryInterface(iid, out);
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE AggregatingHost::AddRef() { return static_cast<ULONG>(++references_); }

ULONG STDMETHODCALLTYPE AggregatingHost::Release() { return static_cast<ULONG>(--references_); }

LONG STDMETHODCALLTYPE AggregatingHost::halfBufferDone(LONG half) {
  if (HalfBufferHandler* handler = handler_.load()) handler->halfBufferDone(half);
  return 0;
}
