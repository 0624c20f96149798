#include "card_handles.h"
#include "monotonic_clock.h"

#include <new>
#include <string.h>
#include <sys/random.h>
#include <time.h>

namespace txvv {

namespace {

uint64_t randomToken() {
  uint64_t token = 0;
  while (token == 0) {
    if (getrandom(&token, sizeof token, 0) != sizeof token) token = uint64_t(monotonicNs()) * 2654435761u;
  }
  return token;
}


}  // namespace

CardService::CardService(const CardOptions& options, Outbox& outbox, Clock clock)
    : outbox_(outbox), clock_(clock ? clock : Clock(monotonicNs)), model_(options) {
  started_ = now();
  anchorTime_ = started_;
  // Without shared memory, or with the wait request refused, every wait takes the socket.
  if (!options.refusedCodes.count(IOCTL_VV_WAIT_HALF_BUFFER))
    waitRegion_ = SharedRegion::create("txvv-waits", sizeof(wire::WaitPage));
  if (waitRegion_) {
    page_ = new (waitRegion_->base()) wire::WaitPage();
    for (uint32_t i = 0; i < wire::kWaitCells; ++i) freeCells_.push_back(i);
  } else {
    privatePage_ = std::make_unique<wire::WaitPage>();
    page_ = privatePage_.get();
  }
  publishWaitPage();
}

CardService::~CardService() = default;

bool CardService::prepare(std::string* error) { return model_.prepare(error); }

void CardService::setClockPriority(const std::string& description) {
  std::lock_guard<std::mutex> hold(lock_);
  clockPriority_ = description;
}

void CardService::connected(ChannelId channel, pid_t pid) {
  std::lock_guard<std::mutex> hold(lock_);
  Channel& c = channels_[channel];
  c.id = channel;
  c.pid = pid;
}

void CardService::disconnected(ChannelId channel) {
  std::lock_guard<std::mutex> hold(lock_);
  forgetChannel(channel);
}

bool CardService::greeted(ChannelId channel) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = channels_.find(channel);
  return found == channels_.end() || found->second.role != 0;
}

size_t CardService::handleCount() {
  std::lock_guard<std::mutex> hold(lock_);
  return handles_.size();
}

CardService::Verdict CardService::received(ChannelId channel, const uint8_t* data, size_t size) {
  std::lock_guard<std::mutex> hold(lock_);
  auto found = channels_.find(channel);
  if (found == channels_.end() || shutDown_) return HangUp;
  Channel& c = found->second;
  Verdict verdict = HangUp;
  if (c.role == 0)
    verdict = hello(c, data, size);
  else if ((c.role == wire::kPrimary || c.role == wire::kAttach) && !c.waiting)
    verdict = request(c, data, size);
  // Anything else (a message on an events channel, a second request while a wait is pending)
  // breaks the protocol.
  if (verdict == HangUp) forgetChannel(channel);
  return verdict;
}

CardService::Verdict CardService::hello(Channel& channel, const uint8_t* data, size_t size) {
  wire::Hello hello;
  if (size != sizeof hello) return HangUp;
  memcpy(&hello, data, sizeof hello);
  if (hello.magic != wire::kMagic || hello.type != wire::kHello) return HangUp;

  wire::Welcome welcome{wire::kMagic, wire::kWelcome, 0, 0, 0, 0, 0};
  switch (hello.role) {
    case wire::kPrimary: {
      auto handle = std::make_unique<Handle>();
      handle->id = nextHandle_++;
      handle->pid = channel.pid;
      handle->token = randomToken();
      handle->primary = channel.id;
      handle->channels.insert(channel.id);
      assignWaitCell(*handle);
      channel.role = wire::kPrimary;
      channel.handle = handle->id;
      welcome.ok = 1;
      welcome.handleId = handle->id;
      welcome.token = handle->token;
      if (handle->cellIndex != kNoWaitCell) {
        welcome.waitCell = handle->cellIndex + 1;
        welcome.waitPageSize = uint32_t(waitRegion_->size());
      }
      int pageFd = handle->cellIndex != kNoWaitCell ? waitRegion_->fd() : -1;
      handles_[handle->id] = std::move(handle);
      return outbox_.send(channel.id, &welcome, sizeof welcome, pageFd) ? Keep : HangUp;
    }
    case wire::kAttach:
    case wire::kEvents: {
      Handle* target = nullptr;
      for (auto& [id, handle] : handles_)
        if (handle->token == hello.token) target = handle.get();
      if (!target || (hello.role == wire::kEvents && target->events != 0)) return HangUp;
      channel.role = hello.role;
      channel.handle = target->id;
      target->channels.insert(channel.id);
      if (hello.role == wire::kEvents) target->events = channel.id;
      welcome.ok = 1;
      welcome.handleId = target->id;
      break;
    }
    case wire::kStatus: {
      std::string text = statusTextLocked();
      if (text.size() > wire::kMaxStatusText) text.resize(wire::kMaxStatusText);
      std::vector<uint8_t> message(8 + text.size());
      uint32_t head[2] = {wire::kMagic, wire::kStatusText};
      memcpy(message.data(), head, 8);
      memcpy(message.data() + 8, text.data(), text.size());
      outbox_.send(channel.id, message.data(), message.size());
      return HangUp;
    }
    default:
      return HangUp;
  }
  return outbox_.send(channel.id, &welcome, sizeof welcome) ? Keep : HangUp;
}

CardService::Verdict CardService::request(Channel& channel, const uint8_t* data, size_t size) {
  wire::RequestHeader header;
  if (size < sizeof header) return HangUp;
  memcpy(&header, data, sizeof header);
  if (header.magic != wire::kMagic || header.type != wire::kRequest ||
      header.inSize > wire::kMaxRequestInput || header.outSize > wire::kMaxRequestOutput ||
      size != sizeof header + header.inSize)
    return HangUp;
  auto handle = handles_.find(channel.handle);
  if (handle == handles_.end()) return HangUp;

  Reply reply = handleRequest(*handle->second, header.code, data + sizeof header,
                              header.inSize, header.outSize);
  if (reply.parked) {
    channel.waiting = true;
    waiters_.push_back(channel.id);
    return Keep;
  }
  if (reply.data.size() > header.outSize) reply.data.resize(header.outSize);
  return sendReply(channel.id, reply) ? Keep : HangUp;
}

bool CardService::sendReply(ChannelId channel, const Reply& reply) {
  std::vector<uint8_t> message(sizeof(wire::ReplyHeader) + reply.data.size());
  wire::ReplyHeader header{};
  header.magic = wire::kMagic;
  header.type = wire::kReply;
  header.ok = reply.ok;
  header.error = reply.error;
  header.bytes = reply.bytes;
  header.dataSize = uint32_t(reply.data.size());
  header.session = reply.session;
  int fd = -1;
  if (reply.streamConfig && model_.streamRegion()) {
    header.region = wire::kStreamRegion;
    header.regionSerial = model_.streamRegion()->serial();
    header.regionSize = uint32_t(model_.streamRegion()->size());
    fd = model_.streamRegion()->fd();
  }
  memcpy(message.data(), &header, sizeof header);
  if (!reply.data.empty()) memcpy(message.data() + sizeof header, reply.data.data(), reply.data.size());
  return outbox_.send(channel, message.data(), message.size(), fd);
}

void CardService::forgetChannel(ChannelId id) {
  auto found = channels_.find(id);
  if (found == channels_.end()) return;
  Channel channel = found->second;
  channels_.erase(found);
  if (channel.waiting) std::erase(waiters_, id);
  auto handle = handles_.find(channel.handle);
  if (handle == handles_.end()) return;
  if (channel.role == wire::kPrimary) {
    closeHandle(channel.handle);
  } else {
    handle->second->channels.erase(id);
    if (handle->second->events == id) {
      handle->second->events = 0;
      if (handle->second->meter) handle->second->meter->active = false;
    }
  }
}

// The primary channel went: the handle closes, and with it its stream claim, its meter
// session and every other channel of it (a wait blocked on one of them fails at once).
void CardService::closeHandle(uint32_t id) {
  auto found = handles_.find(id);
  if (found == handles_.end()) return;
  std::unique_ptr<Handle> handle = std::move(found->second);
  handles_.erase(found);
  releaseWaitCell(*handle);
  if (streamOwner_ == id) {
    catchUp(now());
    model_.releaseStream();
    streamOwner_ = 0;
  }
  for (ChannelId other : handle->channels) {
    auto channel = channels_.find(other);
    if (channel == channels_.end() || other == handle->primary) continue;
    if (channel->second.waiting) std::erase(waiters_, other);
    channels_.erase(channel);
    outbox_.hangUp(other);
  }
}

// A new handle starts owed nothing and with the rate it has seen up to date.
void CardService::assignWaitCell(Handle& handle) {
  if (!freeCells_.empty()) {
    handle.cellIndex = freeCells_.front();
    freeCells_.pop_front();
    handle.cell = &page_->cells[handle.cellIndex];
    handle.cell->doorbell.store(0);
    handle.cell->sleepers.store(0);
  } else {
    handle.ownCell = std::make_unique<wire::WaitCell>();
    handle.cell = handle.ownCell.get();
  }
  handle.cell->woken.store(halves_);
  handle.cell->rateSeen.store(rateGeneration_);
}

// The page's words come from the service's own counts, never the other way round: a client
// that scribbles over them misleads waits until the next half at most.
void CardService::publishWaitPage() {
  page_->halves.store(halves_);
  page_->startMark.store(startMark_);
  page_->rate.store(model_.rate());
  page_->rateGeneration.store(rateGeneration_);
}

void CardService::releaseWaitCell(Handle& handle) {
  if (handle.cellIndex != kNoWaitCell) freeCells_.push_back(handle.cellIndex);
  handle.cellIndex = kNoWaitCell;
}

void CardService::shutdown() {
  std::lock_guard<std::mutex> hold(lock_);
  shutDown_ = true;
  if (streamOwner_) model_.releaseStream();
  streamOwner_ = 0;
  clockChanged();
}

}  // namespace txvv
