#include "module_names.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

namespace vexa::platform {

namespace {

char lowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool exists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

std::optional<std::string> findEntryIgnoringCase(const std::string& folder,
                                                 const std::string& name) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::nullopt;
  std::optional<std::string> found;
  while (dirent* entry = ::readdir(dir)) {
    std::string candidate = entry->d_name;
    if (equalsIgnoringCase(candidate, name) && (!found || candidate < *found)) found = candidate;
  }
  ::closedir(dir);
  return found;
}

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

}  // namespace

std::string lowerAscii(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), lowerChar);
  return text;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && lowerAscii(a) == lowerAscii(b);
}

std::string fileNameOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string directoryOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return "";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool hasDirectory(const std::string& name) { return name.find('/') != std::string::npos; }

std::vector<std::string> moduleFileNames(const std::string& name) {
  std::string folder = directoryOf(name);
  std::string file = fileNameOf(name);
  auto within = [&](const std::string& f) { return hasDirectory(name) ? join(folder, f) : f; };

  if (!file.empty() && file.back() == '.') return {within(file.substr(0, file.size() - 1))};
  if (file.find('.') == std::string::npos) return {within(file + ".so"), within(file + ".dll")};
  const std::string dll = ".dll";
  if (file.size() > dll.size() && equalsIgnoringCase(file.substr(file.size() - dll.size()), dll)) {
    return {within(file.substr(0, file.size() - dll.size()) + ".so"), within(file)};
  }
  return {within(file)};
}

std::optional<std::string> findFileIgnoringCase(const std::string& path) {
  if (path.empty()) return std::nullopt;
  if (exists(path)) return path;

  std::string resolved = path.front() == '/' ? "/" : "";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    std::string exact = join(resolved, part);
    if (part == "." || part == ".." || exists(exact)) {
      resolved = exact;
      continue;
    }
    auto entry = findEntryIgnoringCase(resolved, part);
    if (!entry) return std::nullopt;
    resolved = join(resolved, *entry);
  }
  if (!exists(resolved)) return std::nullopt;
  return resolved;
}

}  // namespace vexa::platform
