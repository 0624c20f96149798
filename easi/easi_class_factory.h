// The module's class factory: makes EasiDriver objects, aggregated or not. Never aggregated
// itself; each DllGetClassObject call makes its own.
#pragma once

#include "non_delegating_unknown.h"

class EasiClassFactory : public NonDelegatingUnknown, public IClassFactory {
public:
  HRESULT STDMETHODCALLTYPE nonDelegatingQueryInterface(REFIID iid, void** out) override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};
