#include "meter_errors.h"

#include <string.h>

namespace {
const char kInitFailed[] = "LLVA Init failed";
}

AnyError::AnyError(const char* message) {
  memset(message_, 0, sizeof message_);
  if (message != nullptr) strncpy(message_, message, sizeof message_ - 1);
}

AnyError::~AnyError() = default;

NonfatalError::NonfatalError(const char* message) : AnyError(message) {}
NonfatalError::~NonfatalError() = default;

LLVAError::LLVAError(const char* message) : NonfatalError(message) {}
LLVAError::~LLVAError() = default;

LLVANotInstalledError::LLVANotInstalledError() : LLVAError(kInitFailed) {}
LLVANotInstalledError::~LLVANotInstalledError() = default;

LLVAVersionMismatchError::LLVAVersionMismatchError() : LLVAError(kInitFailed) {}
LLVAVersionMismatchError::~LLVAVersionMismatchError() = default;

LLVAUnsupportedHWError::LLVAUnsupportedHWError() : LLVAError(kInitFailed) {}
LLVAUnsupportedHWError::~LLVAUnsupportedHWError() = default;
