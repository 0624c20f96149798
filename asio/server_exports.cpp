// The module's five exports, the only symbols it exports (tx_va.def).
#include <windows.h>
#include <objbase.h>
#include <new>
#include <stdio.h>

#include "class_factory.h"
#include "driver_identity.h"
#include "registration.h"
#include "server_state.h"
#include "stream_worker.h"

namespace {

void callTemplateInits(BOOL loading) {
  for (int i = 0; i < classTemplateCount; i++)
    if (classTemplates[i].init) classTemplates[i].init(loading, classTemplates[i].clsid);
}

HRESULT reportFailure(const char* format, long code) {
  char text[128] = {};
  snprintf(text, sizeof text, format, static_cast<int>(code));
  MessageBoxA(nullptr, text, kServerCaption, MB_OK);
  return -1;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    serverState.instance = instance;
    callTemplateInits(TRUE);
  } else if (reason == DLL_PROCESS_DETACH) {
    callTemplateInits(FALSE);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IClassFactory))
    return E_NOINTERFACE;
  if (!ppv) return E_POINTER;
  for (int i = 0; i < classTemplateCount; i++) {
    if (!IsEqualGUID(rclsid, *classTemplates[i].clsid)) continue;
    ClassFactory* factory = new (std::nothrow) ClassFactory(&classTemplates[i]);
    *ppv = factory;
    if (!factory) return E_OUTOFMEMORY;
    factory->AddRef();
    return S_OK;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
  // A streaming thread left to end by itself still runs the module's code.
  bool inUse = serverState.lockCount > 0 || serverState.objectCount != 0 || liveStreamWorkers() > 0;
  return inUse ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
  long result = registerServer(CLSID_TxAsioDriver, kModuleName, kAsioKeyName, kServerDescription,
                               kThreadingModel);
  return result == 0 ? S_OK : reportFailure("Register Server failed! (%d)", result);
}

STDAPI DllUnregisterServer() {
  long result = unregisterServer(CLSID_TxAsioDriver, kModuleName, kAsioKeyName);
  return result == 0 ? S_OK : reportFailure("Unregister Server failed! (%d)", result);
}
