// The non-delegating unknown that every driver object carries. It owns the object's identity
// and reference count; the object's own interfaces forward their IUnknown calls to the outer
// unknown, which is this one unless the object is aggregated.
#pragma once

#include <objbase.h>

class DriverUnknown : public IUnknown {
public:
  explicit DriverUnknown(IUnknown* outer);
  virtual ~DriverUnknown();
  DriverUnknown(const DriverUnknown&) = delete;
  DriverUnknown& operator=(const DriverUnknown&) = delete;

  // IUnknown's slots, non-delegating.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) final {
    return nonDelegatingQueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() final;
  ULONG STDMETHODCALLTYPE Release() final;

  IUnknown* outerUnknown() const { return outer_; }

protected:
  // Derived objects answer their own interfaces and pass the rest down here.
  virtual HRESULT nonDelegatingQueryInterface(REFIID riid, void** ppv);

private:
  IUnknown* outer_;
  volatile LONG count_;
};
