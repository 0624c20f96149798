// The host's callback object and, at the same time, the outer unknown that aggregates the
// driver: asked for IEasiDriver it hands out the inner driver's interface.
#pragma once

#include "easi_interface.h"

#include <atomic>
#include <string>

class HalfBufferHandler {
public:
  virtual ~HalfBufferHandler() = default;
  virtual void halfBufferDone(LONG half) = 0;
};

class AggregatingHost : public IEasiHost {
public:
  AggregatingHost() = default;
  ~AggregatingHost();
  AggregatingHost(const AggregatingHost&) = delete;
  AggregatingHost& operator=(const AggregatingHost&) = delete;

  // Loads the module, creates the driver with this object as its outer unknown and asks the
  // inner object for IEasiDriver. False with *error set when any step fails.
  bool create(const std::string& module, std::string* error);
  // Releases the driver and unloads the module when it agrees.
  void destroy();

  IEasiDriver* driver() const { return driver_; }
  void setHandler(HalfBufferHandler* handler) { handler_.store(handler); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  LONG STDMETHODCALLTYPE halfBufferDone(LONG half) override;

private:
  std::atomic<LONG> references_{1};  // lives on the stack of main; never deletes itself
  std::atomic<HalfBufferHandler*> handler_{nullptr};
  HMODULE module_ = nullptr;
  IUnknown* inner_ = nullptr;
  IEasiDriver* driver_ = nullptr;
};
