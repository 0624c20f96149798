// txvvd --status: asks the running daemon for its state and prints it.
#pragma once

#include <string>

namespace txvv {

// 0 when a daemon answered, 1 when none serves the path.
int printStatus(const std::string& path);

}  // namespace txvv
