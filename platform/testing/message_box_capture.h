// Records every MessageBoxA of this process while alive, instead of showing it; each is
// answered with IDOK (or the answer set).
#pragma once

#include <vexa/dialog.h>

#include <mutex>
#include <vector>

namespace vexa::testing {

using vexa::platform::MessageBoxCall;

class MessageBoxCapture {
public:
  explicit MessageBoxCapture(int answer = IDOK);
  ~MessageBoxCapture();
  MessageBoxCapture(const MessageBoxCapture&) = delete;
  MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

  std::vector<MessageBoxCall> calls() const;

private:
  mutable std::mutex lock_;
  std::vector<MessageBoxCall> calls_;
};

}  // namespace vexa::testing
