#include "easi_driver_base.h"

EasiDriverBase::EasiDriverBase(IUnknown* outer)
    : outerUnknown(outer ? outer : nonDelegatingUnknown()) {}

HRESULT STDMETHODCALLTYPE EasiDriverBase::nonDelegatingQueryInterface(REFIID iid, void** out) {
  if (out && IsEqualGUID(iid, IID_IEasiDriver)) {
    IEasiDriver* driver = this;
    *out = driver;
    // Counted where every reference to the interface is counted: on the outer unknown.
    driver->AddRef();
    return S_OK;
  }
  return NonDelegatingUnknown::nonDelegatingQueryInterface(iid, out);
}

HRESULT STDMETHODCALLTYPE EasiDriverBase::QueryInterface(REFIID iid, void** out) {
  return outerUnknown->QueryInterface(iid, out);
}

ULONG STDMETHODCALLTYPE EasiDriverBase::AddRef() { return outerUnknown->AddRef(); }

ULONG STDMETHODCALLTYPE EasiDriverBase::Release() { return outerUnknown->Release(); }
