// In production every handle on \\.\TX_VV.VXD is a handle in txvvd, the simulated card,
// which is started on demand when none answers.
#include "txvv_client.h"

#include "../../txvv/wire/socket_path.h"

#include <errno.h>
#include <stdio.h>
#include <time.h>
#include <unistd.h>

namespace vexa::platform {

namespace {

class CardBackend : public DeviceBackend {
public:
  std::unique_ptr<DeviceConnection> open() override {
    std::string error;
    std::string path = txvv::wire::cardSocketPath(true, &error);
    if (path.empty()) return nullptr;
    // A daemon that is just ending (its last handle went a while ago) may still accept and
    // then hang up: a second attempt reaches its successor.
    for (int attempt = 0; attempt < 3; ++attempt) {
      int fd = connectOrStart(path);
      if (fd < 0) return nullptr;
      txvv::wire::Welcome welcome{};
      std::vector<int> passed;
      bool greeted = txvv_client::greet(fd, txvv::wire::kPrimary, 0, &welcome, &passed);
      std::shared_ptr<txvv_client::Handle> handle;
      if (greeted)
        handle = std::make_shared<txvv_client::Handle>(path, fd, welcome,
                                                       passed.size() == 1 ? passed[0] : -1);
      for (int each : passed) ::close(each);
      if (handle) return std::make_unique<txvv_client::Connection>(std::move(handle));
      ::close(fd);
    }
    return nullptr;
  }

private:
  static int connectOrStart(const std::string& path) {
    int fd = txvv_client::connectCard(path);
    if (fd >= 0) return fd;
    if (errno == EACCES) return refuseForeign(path);
    if (!txvv_client::startDaemon(path)) return -1;
    // Normally listening already; give a slow machine a moment.
    for (int attempt = 0; fd < 0 && attempt < 50; ++attempt) {
      fd = txvv_client::connectCard(path);
      if (fd < 0) {
        timespec pause{0, 50 * 1000000};
        nanosleep(&pause, nullptr);
      }
    }
    if (fd < 0 && errno == EACCES) return refuseForeign(path);
    return fd;
  }

  static int refuseForeign(const std::string& path) {
    fprintf(stderr, "vexa: the card socket %s is served by another user's process: refused\n",
            path.c_str());
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
};

}  // namespace

DeviceBackend* productionDeviceBackend() {
  static CardBackend backend;
  return &backend;
}

}  // namespace vexa::platform
