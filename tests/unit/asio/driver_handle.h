// Owns one driver object for a test, made as the class factory makes it and released through
// its non-delegating unknown.
#pragma once

#include "asio_driver.h"

class DriverHandle {
public:
  DriverHandle() : driver_(new AsioDriver(nullptr)) { unknown()->AddRef(); }
  ~DriverHandle() { release(); }
  DriverHandle(const DriverHandle&) = delete;
  DriverHandle& operator=(const DriverHandle&) = delete;

  void release() {
    if (driver_) unknown()->Release();
    driver_ = nullptr;
  }
  AsioDriver* operator->() const { return driver_; }
  AsioDriver* get() const { return driver_; }
  IASIO* asio() const { return driver_; }

private:
  DriverUnknown* unknown() const { return driver_; }
  AsioDriver* driver_;
};
