// A registry of its own for one test: the store moves to a fresh temporary file for the
// lifetime of this object, and the previous store comes back after it.
#pragma once

#include <string>

namespace vexa::testing {

class PrivateRegistry {
public:
  PrivateRegistry();
  ~PrivateRegistry();
  PrivateRegistry(const PrivateRegistry&) = delete;
  PrivateRegistry& operator=(const PrivateRegistry&) = delete;

  const std::string& path() const { return path_; }

private:
  std::string path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace vexa::testing
