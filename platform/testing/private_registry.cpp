#include "private_registry.h"

#include <vexa/registry_store.h>

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace vexa::testing {
namespace {

const char* kVariable = "VEXA_REGISTRY";

std::string temporaryFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vexa-registry-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a folder for a private registry");
  return pattern;
}

}  // namespace

PrivateRegistry::PrivateRegistry() {
  if (const char* previous = std::getenv(kVariable)) {
    previous_ = previous;
    hadPrevious_ = true;
  }
  path_ = temporaryFolder() + "/registry.db";
  setenv(kVariable, path_.c_str(), 1);
  platform::closeRegistryStore();
}

PrivateRegistry::~PrivateRegistry() {
  if (hadPrevious_) setenv(kVariable, previous_.c_str(), 1);
  else unsetenv(kVariable);
  // Closed first, so that nothing of this process writes into the files once they are gone.
  platform::closeRegistryStore();
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((path_ + suffix).c_str());
  rmdir(path_.substr(0, path_.rfind('/')).c_str());
}

}  // namespace vexa::testing
