#include "registry_names.h"

#include <cstring>

namespace vexa::platform::registry {

LONG splitKeyPath(const char* path, std::vector<std::string_view>& names) {
  names.clear();
  if (!path || !*path) return ERROR_SUCCESS;
  std::string_view rest(path);
  if (rest.front() == '\\') return ERROR_BAD_PATHNAME;
  if (rest.back() == '\\') rest.remove_suffix(1);
  while (true) {
    size_t slash = rest.find('\\');
    std::string_view name = rest.substr(0, slash);
    if (name.empty()) return ERROR_BAD_PATHNAME;
    if (name.size() > kMaxNameLength || names.size() >= kMaxPathDepth)
      return ERROR_INVALID_PARAMETER;
    names.push_back(name);
    if (slash == std::string_view::npos) return ERROR_SUCCESS;
    rest.remove_prefix(slash + 1);
  }
}

LONG checkValueName(const char* name, std::string_view& checked) {
  checked = name ? std::string_view(name, strnlen(name, kMaxNameLength + 1)) : std::string_view();
  return checked.size() > kMaxNameLength ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

}  // namespace vexa::platform::registry
