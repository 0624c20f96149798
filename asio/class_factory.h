// The server's class table and the class factory that DllGetClassObject hands out.
#pragma once

#include <objbase.h>

#include "driver_unknown.h"

struct ClassTemplate {
  const char* name;
  const CLSID* clsid;
  // A new object on outer, or null without memory; *result may be set to a failure code.
  DriverUnknown* (*create)(IUnknown* outer, HRESULT* result);
  // Called with TRUE at module load and FALSE at unload, when set.
  void (*init)(BOOL loading, const CLSID* clsid);
};

extern const ClassTemplate classTemplates[];
extern const int classTemplateCount;

class ClassFactory : public IClassFactory {
public:
  explicit ClassFactory(const ClassTemplate* classTemplate);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
  virtual ~ClassFactory() = default;

  const ClassTemplate* template_;
  // Apartment-threaded server: a factory is used on one thread, no interlocking.
  ULONG count_;
};
