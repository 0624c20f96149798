// Where the card's socket lives: $VEXA_CARD, else the user's runtime directory, else a folder
// /tmp/vexa-<uid> that only the user can enter. Shared by txvvd and the platform's client.
#pragma once

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

namespace txvv::wire {

// Empty with *error set when no usable path exists. createFolder makes the /tmp fallback.
inline std::string cardSocketPath(bool createFolder, std::string* error) {
  std::string path;
  if (const char* card = getenv("VEXA_CARD"); card && *card) {
    path = card;
  } else if (const char* runtime = getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
    path = std::string(runtime) + "/vexa-card.sock";
  } else {
    std::string folder = "/tmp/vexa-" + std::to_string(getuid());
    if (createFolder && mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      if (error) *error = folder + ": " + strerror(errno);
      return {};
    }
    struct stat info {};
    // Someone else's folder (or a link planted there) would let them hijack the socket.
    if (lstat(folder.c_str(), &info) == 0 &&
        (!S_ISDIR(info.st_mode) || info.st_uid != getuid() || (info.st_mode & 0077) != 0)) {
      if (error) *error = folder + ": not a private folder of this user";
      return {};
    }
    path = folder + "/card";
  }
  if (path.size() >= sizeof(sockaddr_un{}.sun_path)) {
    if (error) *error = path + ": socket path too long";
    return {};
  }
  return path;
}

}  // namespace txvv::wire
