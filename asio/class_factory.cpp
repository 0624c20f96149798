#include "class_factory.h"

#include "asio_driver.h"
#include "driver_identity.h"
#include "server_state.h"

const ClassTemplate classTemplates[] = {
    {kDriverName, &CLSID_TxAsioDriver, &createAsioDriver, nullptr},
};
const int classTemplateCount = sizeof classTemplates / sizeof classTemplates[0];

ClassFactory::ClassFactory(const ClassTemplate* classTemplate)
    : template_(classTemplate), count_(0) {}

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IClassFactory)) {
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() { return ++count_; }

ULONG ClassFactory::Release() {
  if (--count_ == 0) {
    delete this;
    return 0;
  }
  return count_;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  // An aggregating caller can only hold the inner object by its non-delegating unknown.
  if (outer && !IsEqualGUID(riid, IID_IUnknown)) return E_NOINTERFACE;
  HRESULT result = S_OK;
  DriverUnknown* object = template_->create(outer, &result);
  if (!object) return E_OUTOFMEMORY;
  if (FAILED(result)) {
    delete object;
    return result;
  }
  object->AddRef();
  result = object->QueryInterface(riid, ppv);
  object->Release();
  return result;
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lock)
    serverState.lockCount++;
  else
    serverState.lockCount--;
  return S_OK;
}
