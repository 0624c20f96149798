#include "driver_unknown.h"

#include "server_state.h"

DriverUnknown::DriverUnknown(IUnknown* outer) : outer_(outer ? outer : this), count_(0) {
  InterlockedIncrement(&serverState.objectCount);
}

DriverUnknown::~DriverUnknown() { InterlockedDecrement(&serverState.objectCount); }

HRESULT DriverUnknown::nonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualGUID(riid, IID_IUnknown)) {
    *ppv = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG DriverUnknown::AddRef() {
  LONG count = InterlockedIncrement(&count_);
  return count > 1 ? static_cast<ULONG>(count) : 1;
}

ULONG DriverUnknown::Release() {
  LONG count = InterlockedDecrement(&count_);
  if (count == 0) {
    // References taken and dropped by the destructor must not destroy the object again.
    count_ = 1;
    delete this;
    return 0;
  }
  return count > 1 ? static_cast<ULONG>(count) : 1;
}
