#include "device_double.h"

#include <vexa/apc_queue.h>
#include <vexa/cancellable_wait.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace vexa::testing {

uint32_t DeviceRequest::inputWord(size_t index) const {
  if (index * 4 + 4 > input.size())
    throw std::out_of_range("request input has no word " + std::to_string(index));
  return static_cast<uint32_t>(input[index * 4]) |
         static_cast<uint32_t>(input[index * 4 + 1]) << 8 |
         static_cast<uint32_t>(input[index * 4 + 2]) << 16 |
         static_cast<uint32_t>(input[index * 4 + 3]) << 24;
}

struct DeviceDouble::Link {
  std::mutex lock;
  std::condition_variable idle;
  DeviceDouble* owner = nullptr;  // null once the double is gone
  int calls = 0;                  // calls into the double now running
};

struct DeviceDouble::Blocked {
  DWORD code;
  const Connection* connection;
  bool done = false;
  DeviceReply reply;
};

class DeviceDouble::Connection : public vexa::platform::DeviceConnection {
public:
  Connection(std::shared_ptr<Link> link, int id) : id(id), link_(std::move(link)) {}

  bool control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* returned) override {
    if (returned) *returned = 0;
    Call call(*link_);
    if (!call.owner) return false;
    DWORD ignored = 0;
    return call.owner->handle(*this, code, in, inSize, out, outSize,
                              returned ? returned : &ignored);
  }

  void close() override {
    Call call(*link_);
    if (call.owner) call.owner->closed(*this);
  }

  const int id;
  bool closed = false;  // guarded by the double's lock

private:
  // Keeps the double from going away while a call is inside it, also when the calling thread is
  // terminated there.
  struct Call {
    explicit Call(Link& link) : link(link) {
      std::lock_guard<std::mutex> guard(link.lock);
      owner = link.owner;
      if (owner) ++link.calls;
    }
    ~Call() {
      if (!owner) return;
      std::lock_guard<std::mutex> guard(link.lock);
      if (--link.calls == 0) link.idle.notify_all();
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    Link& link;
    DeviceDouble* owner;
  };

  std::shared_ptr<Link> link_;
};

DeviceDouble::DeviceDouble() : link_(std::make_shared<Link>()) {
  link_->owner = this;
  vexa::platform::setDeviceBackend(this);
}

DeviceDouble::~DeviceDouble() {
  vexa::platform::setDeviceBackend(nullptr);
  {
    std::lock_guard<std::mutex> guard(lock_);
    shuttingDown_ = true;
    changed_.notify_all();
  }
  // Handles still open fail from now on; calls still inside finish first.
  std::unique_lock<std::mutex> guard(link_->lock);
  link_->owner = nullptr;
  link_->idle.wait(guard, [this] { return link_->calls == 0; });
}

void DeviceDouble::setAvailable(bool available) {
  std::lock_guard<std::mutex> guard(lock_);
  available_ = available;
}

void DeviceDouble::reply(DWORD code, DeviceReply reply) {
  std::lock_guard<std::mutex> guard(lock_);
  standing_[code] = std::move(reply);
}

void DeviceDouble::replyOnce(DWORD code, DeviceReply reply) {
  std::lock_guard<std::mutex> guard(lock_);
  once_[code].push_back(std::move(reply));
}

void DeviceDouble::blockRequests(DWORD code, bool block) {
  std::lock_guard<std::mutex> guard(lock_);
  blocking_[code] = block;
}

bool DeviceDouble::waitForBlocked(DWORD code, size_t count, DWORD timeoutMs) {
  std::unique_lock<std::mutex> guard(lock_);
  return changed_.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
    return static_cast<size_t>(std::count_if(blocked_.begin(), blocked_.end(), [&](Blocked* b) {
             return b->code == code && !b->done;
           })) >= count;
  });
}

size_t DeviceDouble::blockedCount(DWORD code) const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<size_t>(std::count_if(
      blocked_.begin(), blocked_.end(), [&](Blocked* b) { return b->code == code && !b->done; }));
}

bool DeviceDouble::complete(DWORD code, DeviceReply reply) {
  std::lock_guard<std::mutex> guard(lock_);
  for (Blocked* blocked : blocked_) {
    if (blocked->code == code && !blocked->done) {
      blocked->done = true;
      blocked->reply = std::move(reply);
      changed_.notify_all();
      return true;
    }
  }
  return false;
}

bool DeviceDouble::queueApcToSender(DWORD code, PAPCFUNC function, ULONG_PTR data) {
  DWORD sender = lastSender(code);
  return sender != 0 && vexa::platform::queueApcToThread(sender, function, data);
}

DWORD DeviceDouble::lastSender(DWORD code) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto found = lastSender_.find(code);
  return found == lastSender_.end() ? 0 : found->second;
}

std::vector<DeviceRequest> DeviceDouble::requests() const {
  std::lock_guard<std::mutex> guard(lock_);
  return log_;
}

size_t DeviceDouble::count(DWORD code) const {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<size_t>(std::count_if(
      log_.begin(), log_.end(), [code](const DeviceRequest& r) { return r.code == code; }));
}

size_t DeviceDouble::openCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return opened_;
}

size_t DeviceDouble::closedCount() const {
  std::lock_guard<std::mutex> guard(lock_);
  return closed_;
}

std::unique_ptr<vexa::platform::DeviceConnection> DeviceDouble::open() {
  std::lock_guard<std::mutex> guard(lock_);
  if (!available_ || shuttingDown_) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  ++opened_;
  return std::make_unique<Connection>(link_, nextConnection_++);
}

bool DeviceDouble::handle(Connection& connection, DWORD code, const void* in, DWORD inSize,
                          void* out, DWORD outSize, DWORD* returned) {
  DWORD sender = GetCurrentThreadId();
  std::unique_lock<std::mutex> guard(lock_);
  if (connection.closed || shuttingDown_) return false;

  auto* input = static_cast<const uint8_t*>(in);
  log_.push_back({connection.id, code,
                  input ? std::vector<uint8_t>(input, input + inSize) : std::vector<uint8_t>(),
                  outSize, sender});
  lastSender_[code] = sender;

  DeviceReply answer;
  auto blocking = blocking_.find(code);
  if (blocking != blocking_.end() && blocking->second) {
    Blocked blocked{code, &connection, false, {}};
    // Leaves the list however the wait ends, also when the thread is terminated in it.
    struct Listed {
      DeviceDouble& owner;
      Blocked& entry;
      ~Listed() {
        owner.blocked_.erase(std::find(owner.blocked_.begin(), owner.blocked_.end(), &entry));
        owner.changed_.notify_all();
      }
    } listed{*this, blocked};
    blocked_.push_back(&blocked);
    changed_.notify_all();
    vexa::platform::waitFor(changed_, guard,
                            [&] { return blocked.done || connection.closed || shuttingDown_; });
    if (!blocked.done) return false;
    answer = std::move(blocked.reply);
  } else {
    auto once = once_.find(code);
    if (once != once_.end() && !once->second.empty()) {
      answer = std::move(once->second.front());
      once->second.pop_front();
    } else {
      auto standing = standing_.find(code);
      if (standing != standing_.end()) {
        answer = standing->second;
      } else {
        answer.bytes = 0;
      }
    }
  }
  guard.unlock();
  return applyReply(answer, out, outSize, returned);
}

void DeviceDouble::closed(Connection& connection) {
  std::lock_guard<std::mutex> guard(lock_);
  if (connection.closed) return;
  connection.closed = true;
  ++closed_;
  changed_.notify_all();
}

bool DeviceDouble::applyReply(const DeviceReply& reply, void* out, DWORD outSize, DWORD* returned) {
  auto* bytes = static_cast<uint8_t*>(out);
  DWORD offset = 0;
  auto put = [&](uint8_t value) {
    if (bytes && offset < outSize) bytes[offset] = value;
    ++offset;
  };
  for (uint32_t word : reply.words)
    for (int shift = 0; shift < 32; shift += 8) put(static_cast<uint8_t>(word >> shift));
  for (uint8_t value : reply.data) put(value);
  if (reply.bytes < 0)
    *returned = reply.ok ? outSize : 0;
  else
    *returned = static_cast<DWORD>(reply.bytes);
  return reply.ok;
}

}  // namespace vexa::testing
