// The platform's client of txvvd: each CreateFileA on \\.\TX_VV.VXD is one handle in the
// daemon, reached over the daemon's Unix socket. Private to the platform library.
#pragma once

#include <vexa/apc_queue.h>
#include <vexa/device_backend.h>

#include "../../txvv/wire/txvv_wire.h"
#include "../../txvv/wire/wait_page.h"
#include "streaming_path.h"

#include <stdint.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace vexa::platform::txvv_client {

// For the functions a TerminateThread may unwind (they block in the socket): no
// address-sanitizer redzones on their stack, which an unwound frame would leave behind.
#define TXVV_UNWINDABLE [[gnu::no_sanitize_address, gnu::noinline]]

// Memory the daemon shared, mapped into this process. Unmapped a while after its last user
// lets go, so a thread still reading a status block it was handed does not fault.
class Mapping {
public:
  static std::shared_ptr<Mapping> map(int fd, size_t size);
  ~Mapping();
  uint8_t* base() const { return base_; }
  size_t size() const { return size_; }

private:
  Mapping(uint8_t* base, size_t size) : base_(base), size_(size) {}
  uint8_t* base_;
  size_t size_;
};

// Socket plumbing (txvv_client_socket.cpp).
// -1 when nothing answers, or (errno EACCES) when a process of another user does.
int connectCard(const std::string& path);
bool startDaemon(const std::string& path);
// One message; fds passed with it land in *fds (the caller closes them). -1 on failure.
TXVV_UNWINDABLE ssize_t receiveMessage(int fd, void* buffer, size_t size, std::vector<int>* fds);
TXVV_UNWINDABLE bool sendMessage(int fd, const void* data, size_t size);
// Sends a hello and waits for the welcome; false when the daemon refuses. Memory passed with
// the welcome lands in *fds when given (the caller closes it), else it is closed.
bool greet(int fd, uint32_t role, uint64_t token, txvv::wire::Welcome* welcome,
           std::vector<int>* fds = nullptr);

struct MeterState;

// One open handle (shared by the connection object, the meter's reader and its APCs).
class Handle : public std::enable_shared_from_this<Handle> {
public:
  // `waitPage`: the wait page's memory from the welcome, or -1.
  Handle(std::string path, int primary, const txvv::wire::Welcome& welcome, int waitPage);
  ~Handle();

  TXVV_UNWINDABLE VEXA_STREAMING_PATH bool control(DWORD code, const void* in, DWORD inSize,
                                                   void* out, DWORD outSize, DWORD* returned);
  void close();
  // The events channel's messages, taken by the meter's thread during its alertable waits.
  void drainEvents(int fd);

private:
  friend struct MeterState;
  // A request's round trip through the socket. Apart from control(), so that the wait on the
  // shared page, which a streaming thread makes every period, sits on a small stack frame.
  TXVV_UNWINDABLE bool exchange(DWORD code, const void* in, DWORD inSize, void* out,
                                DWORD outSize, DWORD* returned);
  TXVV_UNWINDABLE VEXA_STREAMING_PATH bool waitForHalf(void* out, DWORD* returned);
  // Starts, once, the thread that notices the daemon going; false when it cannot run.
  VEXA_STREAMING_PATH bool watchLifeline();
  void wakeSleepers();
  int takeChannel();
  void returnChannel(int fd);
  void discardChannel(int fd);
  bool translateStreamConfig(const txvv::wire::ReplyHeader& reply, std::vector<int>& fds,
                             void* out, DWORD outSize);
  bool prepareMeter(const void* in, DWORD inSize);
  void handleEvent(const uint8_t* buffer, size_t size, const std::vector<int>& fds);
  // Counts an acknowledgement in the meter region; false before the region is mapped, and on
  // a closed handle, where the request answers instead.
  bool acknowledge();

  const std::string path_;
  const uint64_t token_;
  const int primary_;
  // Set once by the constructor: waits use the shared page without taking the lock.
  std::shared_ptr<Mapping> waitPage_;
  txvv::wire::WaitCell* waitCell_ = nullptr;
  std::atomic<bool> hungUp_{false};  // closed, or the daemon went
  std::atomic<bool> watching_{false};
  std::thread watcher_;
  std::mutex lock_;
  bool closed_ = false;
  std::vector<int> idle_;
  std::set<int> open_;
  std::shared_ptr<Mapping> stream_;
  uint32_t streamSerial_ = 0;
  std::shared_ptr<vexa::platform::ApcSource> events_;
  DWORD eventsThread_ = 0;  // the thread whose waits watch events_; 0 when none does
  std::shared_ptr<MeterState> meter_;
};

class Connection : public DeviceConnection {
public:
  explicit Connection(std::shared_ptr<Handle> handle) : handle_(std::move(handle)) {}
  ~Connection() override { handle_->close(); }
  VEXA_STREAMING_PATH bool control(DWORD code, const void* in, DWORD inSize, void* out,
                                   DWORD outSize, DWORD* returned) override {
    return handle_->control(code, in, inSize, out, outSize, returned);
  }
  void close() override { handle_->close(); }

private:
  std::shared_ptr<Handle> handle_;
};

}  // namespace vexa::platform::txvv_client
