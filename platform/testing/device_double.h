// An in-process stand-in for the card driver. While alive it receives every CreateFileA on
// \\.\TX_VV.VXD in this process: it answers each request as scripted and records it.
#pragma once

#include <vexa/device_backend.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace vexa::testing {

struct DeviceReply {
  bool ok = true;
  // Bytes reported; -1 reports the caller's whole output size (0 when the reply fails).
  long bytes = -1;
  // Written to the output buffer from its start (as far as it reaches), also when failing.
  std::vector<uint32_t> words;
  // Raw bytes written after the words (for records that are not word lists).
  std::vector<uint8_t> data;
};

struct DeviceRequest {
  int connection;  // which CreateFileA, counted from 0
  DWORD code;
  std::vector<uint8_t> input;
  DWORD outSize;
  DWORD threadId;

  uint32_t inputWord(size_t index) const;
};

class DeviceDouble : public vexa::platform::DeviceBackend {
public:
  // Installs itself as the process's backend; the destructor uninstalls it.
  DeviceDouble();
  ~DeviceDouble() override;

  // Opening fails (INVALID_HANDLE_VALUE) while this is set.
  void setAvailable(bool available);

  // The reply to every later request with this code. Unscripted codes succeed with 0 bytes.
  void reply(DWORD code, DeviceReply reply);
  // A reply used once, before the standing one.
  void replyOnce(DWORD code, DeviceReply reply);

  // Requests with this code block until complete() or until their handle closes (then fail).
  void blockRequests(DWORD code, bool block = true);
  // Waits until `count` requests with this code are blocked; false on time-out.
  bool waitForBlocked(DWORD code, size_t count, DWORD timeoutMs = 5000);
  // Completes the oldest blocked request with this code; false when none is blocked.
  bool complete(DWORD code, DeviceReply reply);

  // Queues an APC to the thread that last sent a request with this code.
  bool queueApcToSender(DWORD code, PAPCFUNC function, ULONG_PTR data);
  // The thread that last sent a request with this code; 0 when none has.
  DWORD lastSender(DWORD code) const;

  std::vector<DeviceRequest> requests() const;
  size_t count(DWORD code) const;
  size_t openCount() const;    // CreateFileA calls that succeeded
  size_t closedCount() const;  // handles closed
  // Requests with this code blocked now (waiting for complete() or their handle's close).
  size_t blockedCount(DWORD code) const;

  std::unique_ptr<vexa::platform::DeviceConnection> open() override;

private:
  class Connection;
  friend class Connection;
  // Shared with every connection, which may outlive the double (a handle left open).
  struct Link;
  std::shared_ptr<Link> link_;
  bool shuttingDown_ = false;
  static bool applyReply(const DeviceReply& reply, void* out, DWORD outSize, DWORD* returned);

  bool handle(Connection& connection, DWORD code, const void* in, DWORD inSize, void* out,
              DWORD outSize, DWORD* returned);
  void closed(Connection& connection);

  mutable std::mutex lock_;
  std::condition_variable changed_;
  bool available_ = true;
  int nextConnection_ = 0;
  size_t opened_ = 0;
  size_t closed_ = 0;
  std::map<DWORD, DeviceReply> standing_;
  std::map<DWORD, std::deque<DeviceReply>> once_;
  std::map<DWORD, bool> blocking_;
  struct Blocked;
  std::deque<Blocked*> blocked_;
  std::vector<DeviceRequest> log_;
  std::map<DWORD, DWORD> lastSender_;
};

}  // namespace vexa::testing
