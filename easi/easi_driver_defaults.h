// Answers that every EASI driver of this family shares unless it says otherwise.
#pragma once

#include "easi_driver_base.h"

class EasiDriverDefaults : public EasiDriverBase {
public:
  explicit EasiDriverDefaults(IUnknown* outer) : EasiDriverBase(outer) {}

  LONG STDMETHODCALLTYPE getInterfaceVersion() override { return 1; }
};
