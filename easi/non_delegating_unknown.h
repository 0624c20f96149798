// The base of every COM object of the module: the reference count and the non-delegating
// IUnknown that an aggregating host holds. Its first three slots have the shape of IUnknown's.
#pragma once

#include <windows.h>
#include <objbase.h>

class NonDelegatingUnknown {
public:
  NonDelegatingUnknown();
  NonDelegatingUnknown(const NonDelegatingUnknown&) = delete;
  NonDelegatingUnknown& operator=(const NonDelegatingUnknown&) = delete;

  virtual HRESULT STDMETHODCALLTYPE nonDelegatingQueryInterface(REFIID iid, void** out);
  virtual ULONG STDMETHODCALLTYPE nonDelegatingAddRef();
  virtual ULONG STDMETHODCALLTYPE nonDelegatingRelease();
  virtual ~NonDelegatingUnknown();

  // This object seen as IUnknown: the pointer handed to an aggregating outer object.
  IUnknown* nonDelegatingUnknown() { return reinterpret_cast<IUnknown*>(this); }

protected:
  LONG volatile referenceCount;
};
