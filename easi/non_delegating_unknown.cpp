#include "non_delegating_unknown.h"

#include "module_state.h"

NonDelegatingUnknown::NonDelegatingUnknown() : referenceCount(0) { objectCreated(); }

NonDelegatingUnknown::~NonDelegatingUnknown() { objectDestroyed(); }

HRESULT STDMETHODCALLTYPE NonDelegatingUnknown::nonDelegatingQueryInterface(REFIID iid,
                                                                            void** out) {
  if (!out) return E_POINTER;
  if (IsEqualGUID(iid, IID_IUnknown)) {
    *out = nonDelegatingUnknown();
    nonDelegatingAddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE NonDelegatingUnknown::nonDelegatingAddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&referenceCount));
}

ULONG STDMETHODCALLTYPE NonDelegatingUnknown::nonDelegatingRelease() {
  LONG count = InterlockedDecrement(&referenceCount);
  if (count == 0) {
    delete this;
    return 0;
  }
  return static_cast<ULONG>(count);
}
