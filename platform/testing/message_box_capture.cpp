#include "message_box_capture.h"

namespace vexa::testing {

MessageBoxCapture::MessageBoxCapture(int answer) {
  vexa::platform::setMessageBoxAnswerer([this, answer](const MessageBoxCall& call) {
    std::lock_guard<std::mutex> hold(lock_);
    calls_.push_back(call);
    return answer;
  });
}

MessageBoxCapture::~MessageBoxCapture() { vexa::platform::setMessageBoxAnswerer(nullptr); }

std::vector<MessageBoxCall> MessageBoxCapture::calls() const {
  std::lock_guard<std::mutex> hold(lock_);
  return calls_;
}

}  // namespace vexa::testing
