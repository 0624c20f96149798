// The module's three entry points, the only symbols it exports. There is no self-registration:
// how a host finds the module is the host's business.
#include "easi_class_factory.h"
#include "module_state.h"

#include <new>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) setModuleInstance(instance);
  return TRUE;
}

// Every class identifier is served: the module has one class.
STDAPI DllGetClassObject(REFCLSID, REFIID iid, LPVOID* out) {
  if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IClassFactory))
    return E_NOINTERFACE;
  EasiClassFactory* factory = new (std::nothrow) EasiClassFactory;
  if (!factory) return E_OUTOFMEMORY;
  if (!out) {
    delete factory;
    return E_OUTOFMEMORY;
  }
  IClassFactory* result = factory;
  *out = result;
  factory->nonDelegatingAddRef();
  return S_OK;
}

STDAPI DllCanUnloadNow() { return moduleInUse() ? S_FALSE : S_OK; }
