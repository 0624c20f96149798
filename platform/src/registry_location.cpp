#include "registry_location.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace vexa::platform::registry {
namespace {

std::string defaultFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/vexa";
  const char* home = std::getenv("HOME");
  if (!home || !*home) {
    const passwd* user = getpwuid(getuid());
    home = user ? user->pw_dir : nullptr;
  }
  if (!home || !*home) return {};
  return std::string(home) + "/.config/vexa";
}

}  // namespace

std::string registryPath(bool& isDefault) {
  const char* chosen = std::getenv("VEXA_REGISTRY");
  isDefault = !chosen || !*chosen;
  if (!isDefault) return chosen;
  std::string folder = defaultFolder();
  return folder.empty() ? folder : folder + "/registry.db";
}

bool makeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

}  // namespace vexa::platform::registry
