// Checks and splits the names that callers pass: key paths and value names.
#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

namespace vexa::platform::registry {

// Longest key or value name, in characters.
constexpr size_t kMaxNameLength = 255;
// Deepest key path below a handle.
constexpr size_t kMaxPathDepth = 512;
// Largest value, in bytes.
constexpr DWORD kMaxValueSize = 1024 * 1024;

// Splits "A\B\C" into its names. Null and "" give no names (the key itself); one trailing
// backslash is allowed. A leading backslash or an empty name inside the path is
// ERROR_BAD_PATHNAME; a name above kMaxNameLength or a path deeper than kMaxPathDepth is
// ERROR_INVALID_PARAMETER.
LONG splitKeyPath(const char* path, std::vector<std::string_view>& names);

// Null and "" are both the key's default value.
LONG checkValueName(const char* name, std::string_view& checked);

}  // namespace vexa::platform::registry
