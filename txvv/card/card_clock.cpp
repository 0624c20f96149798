// The card's frame clock: how many frames have passed at a given time, and what completes.
#include "card_handles.h"

#include <string.h>

namespace txvv {

int64_t CardService::timeOfFrame(uint64_t frame) const {
  uint32_t rate = model_.rate();
  uint64_t frames = frame - anchorFrame_;
  uint64_t seconds = frames / rate;
  uint64_t rest = frames % rate;
  return anchorTime_ + int64_t(seconds) * 1000000000 + int64_t((rest * 1000000000 + rate - 1) / rate);
}

uint32_t CardService::msAt(int64_t time) const {
  const CardOptions& options = model_.options();
  int64_t ms = (options.msStartSet ? time - started_ : time) / 1000000;
  return uint32_t(uint64_t(ms) + (options.msStartSet ? options.msStart : 0));
}

void CardService::reanchor(int64_t now) {
  anchorFrame_ = processed_;
  anchorTime_ = now;
}

void CardService::catchUp(int64_t now) {
  uint32_t rate = model_.rate();
  if (rate == 0 || now <= anchorTime_) {
    if (rate == 0) reanchor(now);
    return;
  }
  uint64_t elapsed = uint64_t(now - anchorTime_);
  uint64_t target = anchorFrame_ + elapsed / 1000000000 * rate + elapsed % 1000000000 * rate / 1000000000;
  if (target > processed_ && target - processed_ > uint64_t(rate) * kLongestCatchUpMs / 1000) {
    reanchor(now);
    return;
  }
  while (processed_ < target) {
    uint64_t step = target - processed_;
    uint32_t next = model_.framesToNextEvent();
    uint32_t n = step < next ? uint32_t(step) : next;
    int64_t when = timeOfFrame(processed_ + n);
    CardModel::Events events = model_.advance(n, msAt(when < now ? when : now));
    processed_ += n;
    if (events.meterBlockReady) deliverMeterBlock();
    if (events.halfCompleted) halfCompleted();
  }
  // Keep the products above within 64 bits.
  if (processed_ - anchorFrame_ > uint64_t(rate) * 3600) reanchor(timeOfFrame(processed_));
}

int64_t CardService::tick(int64_t now) {
  std::lock_guard<std::mutex> hold(lock_);
  if (shutDown_) return 0;
  changesSeen_ = changes_;
  applyScheduledChanges(now);
  catchUp(now);
  int64_t deadline = 0;
  if (model_.rate() != 0) deadline = timeOfFrame(processed_ + model_.framesToNextEvent());
  if (collectPendingRates() && (deadline == 0 || now + kPendingRatePollNs < deadline))
    deadline = now + kPendingRatePollNs;
  const auto& changes = model_.options().spdifChanges;
  if (nextSpdifChange_ < changes.size()) {
    int64_t at = started_ + int64_t(changes[nextSpdifChange_].afterMs) * 1000000;
    if (deadline == 0 || at < deadline) deadline = at;
  }
  return deadline;
}

void CardService::applyScheduledChanges(int64_t now) {
  const auto& changes = model_.options().spdifChanges;
  while (nextSpdifChange_ < changes.size() &&
         started_ + int64_t(changes[nextSpdifChange_].afterMs) * 1000000 <= now) {
    const SpdifChange& change = changes[nextSpdifChange_++];
    catchUp(now);
    uint32_t before = model_.rate();
    model_.setSpdifInput(change.rate != 0, change.rate);
    if (model_.rate() != before) rateChanged(now);
  }
}

// A change since the last tick (a start, a new rate) may move the deadline: tick again first.
bool CardService::sleepUntil(int64_t deadline) {
  std::unique_lock<std::mutex> hold(lock_);
  if (clockStopped_) return false;
  if (shutDown_) {
    // Nothing is due any more: wait for the end instead of spinning at real-time priority.
    changed_.wait(hold, [this] { return clockStopped_; });
    return false;
  }
  if (changes_ != changesSeen_) return false;
  if (deadline == 0) {
    changed_.wait(hold);
    return true;
  }
  int64_t wait = deadline - now();
  if (wait <= 0) return false;
  changed_.wait_for(hold, std::chrono::nanoseconds(wait));
  return true;
}

void CardService::stopClock() {
  std::lock_guard<std::mutex> hold(lock_);
  clockStopped_ = true;
  changed_.notify_all();
}

void CardService::clockChanged() {
  ++changes_;
  changed_.notify_all();
}

// Every rate change (a successful rate request, a clock switch that changes the rate, a new
// rate at the S/PDIF input while slaved) is flagged to the next wait of every handle and sent
// to every meter client.
void CardService::rateChanged(int64_t now) {
  reanchor(now);
  ++rateGeneration_;
  publishWaitPage();
  for (auto& [id, handle] : handles_)
    if (handle->meter && handle->meter->active) deliverRate(*handle);
  clockChanged();
}

void CardService::halfCompleted() {
  uint32_t seen = halves_++;
  publishWaitPage();
  completeWaits(seen);
  ringDoorbells();
}

// Waits parked on a socket: each is the one wake of its handle for the half after `seen`.
void CardService::completeWaits(uint32_t seen) {
  if (waiters_.empty()) return;
  // Swapped with a kept buffer: no allocation on the clock thread's path.
  waiting_.swap(waiters_);
  waiters_.clear();
  std::vector<ChannelId>& waiting = waiting_;
  std::vector<ChannelId> failed;
  for (ChannelId id : waiting) {
    auto channel = channels_.find(id);
    if (channel == channels_.end()) continue;
    channel->second.waiting = false;
    auto handle = handles_.find(channel->second.handle);
    if (handle == handles_.end()) continue;
    struct {
      wire::ReplyHeader header;
      uint32_t words[2];
    } reply{};
    reply.header.magic = wire::kMagic;
    reply.header.type = wire::kReply;
    reply.header.ok = 1;
    reply.header.bytes = 8;
    reply.header.dataSize = 8;
    wire::WaitCell& cell = *handle->second->cell;
    wire::recordWake(*page_, cell, seen);
    wire::waitAnswer(*page_, cell, reply.words);
    if (!outbox_.send(id, &reply, sizeof reply)) failed.push_back(id);
  }
  for (ChannelId id : failed) {
    forgetChannel(id);
    outbox_.hangUp(id);
  }
}

// Waits asleep in shared memory: `halves` has moved, and each sleeping handle's doorbell rings.
void CardService::ringDoorbells() {
  for (auto& [id, handle] : handles_)
    if (handle->cellIndex != kNoWaitCell && handle->cell->sleepers.load() != 0)
      wire::ringDoorbell(handle->cell->doorbell);
}

}  // namespace txvv
