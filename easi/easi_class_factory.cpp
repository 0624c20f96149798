#include "easi_class_factory.h"

#include "easi_driver.h"
#include "module_state.h"

#include <new>

HRESULT STDMETHODCALLTYPE EasiClassFactory::nonDelegatingQueryInterface(REFIID iid, void** out) {
  if (out && IsEqualGUID(iid, IID_IClassFactory)) {
    IClassFactory* factory = this;
    *out = factory;
    factory->AddRef();
    return S_OK;
  }
  return NonDelegatingUnknown::nonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE EasiClassFactory::QueryInterface(REFIID iid, void** out) {
  return nonDelegatingQueryInterface(iid, out);
}

ULONG STDMETHODCALLTYPE EasiClassFactory::AddRef() { return nonDelegatingAddRef(); }

ULONG STDMETHODCALLTYPE EasiClassFactory::Release() { return nonDelegatingRelease(); }

HRESULT STDMETHODCALLTYPE EasiClassFactory::CreateInstance(IUnknown* outer, REFIID iid,
                                                           void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  // An aggregating host must hold the inner object by its non-delegating unknown.
  if (outer && !IsEqualGUID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;

  EasiDriver* driver = new (std::nothrow) EasiDriver(outer);
  if (!driver) return E_OUTOFMEMORY;
  // Held for the query, so that an object whose interface is refused goes again at once.
  driver->nonDelegatingAddRef();
  HRESULT result = driver->nonDelegatingQueryInterface(iid, out);
  driver->nonDelegatingRelease();
  return result;
}

HRESULT STDMETHODCALLTYPE EasiClassFactory::LockServer(BOOL lock) {
  if (lock)
    lockModule();
  else
    unlockModule();
  return S_OK;
}
