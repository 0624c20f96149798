#include "test_files.h"

#include <windows.h>

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

std::string testsFolder() {
  char path[4096];
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) throw std::runtime_error("no program path");
  return fs::path(path).parent_path().string();
}

std::string testServerFile() { return testsFolder() + "/com_test_server.so"; }

int environmentCount(const char* variable) {
  const char* value = getenv(variable);
  return value ? atoi(value) : 0;
}

MixedCaseCopy::MixedCaseCopy() {
  std::string pattern = (fs::temp_directory_path() / "vexa-com-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("no temporary folder");
  root_ = pattern;
  fs::path folder = fs::path(root_) / "Vexa Mixed" / "Drivers";
  fs::create_directories(folder);
  path_ = (folder / "com_test_server.so").string();
  fs::copy_file(testServerFile(), path_);
}

MixedCaseCopy::~MixedCaseCopy() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

std::string MixedCaseCopy::lowerCasedPath() const {
  std::string lower = path_;
  CharLowerA(lower.data());
  return lower;
}
