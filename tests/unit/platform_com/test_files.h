// Where the test server lives, and copies of it in folders of our choosing.
#pragma once

#include <string>

std::string testsFolder();
std::string testServerFile();
int environmentCount(const char* variable);

// A fresh folder "<temp>/Vexa Mixed/Drivers" holding a copy of the test server, removed again
// at the end of the test.
class MixedCaseCopy {
public:
  MixedCaseCopy();
  ~MixedCaseCopy();
  MixedCaseCopy(const MixedCaseCopy&) = delete;
  MixedCaseCopy& operator=(const MixedCaseCopy&) = delete;

  const std::string& root() const { return root_; }
  const std::string& path() const { return path_; }
  // The path as COM registration stores it.
  std::string lowerCasedPath() const;

private:
  std::string root_;
  std::string path_;
};
