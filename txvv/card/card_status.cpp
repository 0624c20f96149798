// The card's state as text, for txvvd --status.
#include "card_handles.h"

#include <sstream>

namespace txvv {

std::string CardService::statusText() {
  std::lock_guard<std::mutex> hold(lock_);
  return statusTextLocked();
}

std::string CardService::statusTextLocked() {
  static const char* routes[] = {"Normal", "4x4", "Converter", "Normal + S/PDIF", "4x4 + S/PDIF"};
  const CardOptions& options = model_.options();
  std::ostringstream text;
  uint32_t rate = model_.rate();
  text << "card: " << options.inputs << " inputs, " << options.outputs << " outputs, minimum "
       << options.minBufferFrames << " frames, clock thread " << clockPriority_ << "\n";
  text << "rate: " << (rate ? std::to_string(rate) + " Hz" : std::string("no clock")) << "\n";
  text << "clock: " << (model_.slaved() ? "S/PDIF input" : "internal") << " (internal "
       << model_.internalRate() << " Hz, S/PDIF input "
       << (model_.spdifPresent() ? std::to_string(model_.spdifRate()) + " Hz" : std::string("absent"))
       << ")\n";
  text << "routing: " << model_.routing() << " " << routes[model_.routing() % 5] << "\n";
  if (streamOwner_) {
    pid_t pid = handles_.count(streamOwner_) ? handles_[streamOwner_]->pid : 0;
    text << "stream: owned by handle " << streamOwner_ << " (pid " << pid << "), "
         << model_.bufferFrames() << " frames, " << (model_.running() ? "running" : "stopped")
         << ", " << model_.completedHalves() << " halves completed, sample count "
         << model_.sampleCount() << "\n";
  } else {
    text << "stream: free\n";
  }
  text << "clients: " << handles_.size() << "\n";
  for (auto& [id, handle] : handles_) {
    text << "  handle " << id << " pid " << handle->pid << ", " << handle->channels.size()
         << " channel(s)";
    if (handle->cellIndex != kNoWaitCell) text << ", wait cell " << handle->cellIndex;
    if (id == streamOwner_) text << ", stream owner";
    text << "\n";
  }
  size_t meters = 0;
  for (auto& [id, handle] : handles_)
    if (handle->meter && handle->meter->active) ++meters;
  text << "meter clients: " << meters << " (blocks of " << model_.meterBlockFrames()
       << " frames)\n";
  for (auto& [id, handle] : handles_) {
    if (!handle->meter || !handle->meter->active) continue;
    text << "  handle " << id << " pid " << handle->pid << ": " << handle->meter->delivered
         << " blocks delivered, " << handle->meter->lost << " lost, "
         << handle->meter->unacknowledged.size() << " awaiting acknowledgement\n";
  }
  return text.str();
}

}  // namespace txvv
