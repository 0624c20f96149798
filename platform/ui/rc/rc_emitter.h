// Writes a parsed script as C++: one ResourceTable that registers itself with the platform
// under the instance handle of the module it is linked into.
#pragma once

#include "rc_model.h"

#include <string>

namespace rcgen {

std::string emitTable(const Script& script, const std::string& sourceName);

}  // namespace rcgen
