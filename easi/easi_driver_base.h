// IEasiDriver's COM side: its IUnknown operations forward to the outer unknown (the
// aggregating host, or this object's own non-delegating unknown), and the non-delegating
// QueryInterface also answers IID_IEasiDriver. The driver operations are left to subclasses.
#pragma once

#include "easi_interface.h"
#include "non_delegating_unknown.h"

class EasiDriverBase : public NonDelegatingUnknown, public IEasiDriver {
public:
  // A null outer makes the object its own outer unknown.
  explicit EasiDriverBase(IUnknown* outer);

  HRESULT STDMETHODCALLTYPE nonDelegatingQueryInterface(REFIID iid, void** out) override;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

protected:
  IUnknown* outerUnknown;
};
