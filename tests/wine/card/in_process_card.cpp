#include "in_process_card.h"

#include <device_records.h>

#include <string.h>

namespace wine_card {

namespace {

txvv::CardOptions loopbackCard() {
  txvv::CardOptions options;
  options.rate = 48000;
  options.spdifRate = 48000;
  for (uint32_t input = 0; input < options.inputs; ++input) {
    txvv::SignalSetup loop;
    loop.kind = txvv::SignalSetup::Loop;
    loop.loopOutput = input;
    options.signals[input] = loop;
  }
  return options;
}

DWORD word(const void* in) {
  DWORD value;
  memcpy(&value, in, 4);
  return value;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

InProcessCard::InProcessCard() : model_(loopbackCard()) {
  std::string error;
  model_.prepare(&error);
  clock_ = std::thread([this] { clockThread(); });
}

InProcessCard::~InProcessCard() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    quit_ = true;
  }
  changed_.notify_all();
  clock_.join();
}

HANDLE InProcessCard::open() {
  HANDLE handle = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!handle) return INVALID_HANDLE_VALUE;
  std::lock_guard<std::mutex> hold(lock_);
  for (auto& slot : open_) {
    HANDLE free = nullptr;
    if (!slot.compare_exchange_strong(free, handle)) continue;
    auto record = std::make_shared<Handle>();
    record->rateSeen = rateGeneration_;  // rate changes count from the open
    handles_[handle] = record;
    return handle;
  }
  CloseHandle(handle);
  SetLastError(ERROR_TOO_MANY_OPEN_FILES);
  return INVALID_HANDLE_VALUE;
}

bool InProcessCard::owns(HANDLE handle) const {
  if (!handle) return false;
  for (const auto& slot : open_)
    if (slot.load() == handle) return true;
  return false;
}

BOOL InProcessCard::close(HANDLE handle) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = handles_.find(handle);
    if (found == handles_.end()) return fail(ERROR_INVALID_HANDLE);
    found->second->closed = true;
    handles_.erase(found);
    for (auto& slot : open_) {
      HANDLE mine = handle;
      slot.compare_exchange_strong(mine, nullptr);
    }
    if (owner_ == handle) {
      // The stream's memory stays: a streaming thread may still read its status block.
      catchUp(Clock::now());
      model_.stop();
      owner_ = nullptr;
    }
  }
  changed_.notify_all();
  return CloseHandle(handle);
}

BOOL InProcessCard::answer(void* out, DWORD outSize, DWORD* returned,
                           std::initializer_list<DWORD> words) {
  DWORD bytes = static_cast<DWORD>(words.size() * 4);
  if (outSize < bytes) return fail(ERROR_INSUFFICIENT_BUFFER);
  memcpy(out, words.begin(), bytes);
  if (returned) *returned = bytes;
  return TRUE;
}

BOOL InProcessCard::request(HANDLE handle, DWORD code, const void* in, DWORD inSize, void* out,
                            DWORD outSize, DWORD* returned) {
  if (returned) *returned = 0;
  std::unique_lock<std::mutex> hold(lock_);
  auto found = handles_.find(handle);
  if (found == handles_.end()) return fail(ERROR_INVALID_HANDLE);
  std::shared_ptr<Handle> me = found->second;
  bool owner = owner_ == handle;
  auto streamConfig = [&]() -> BOOL {
    if (outSize < sizeof(StreamConfig)) return fail(ERROR_INSUFFICIENT_BUFFER);
    StreamConfig config;
    model_.describeStream(&config);
    // Offsets into the stream memory become addresses in this process.
    DWORD base = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(model_.streamRegion()->base()));
    for (DWORD c = 0; c < config.numInputs; ++c)
      for (DWORD& half : config.inputs[c].half) half += base;
    for (DWORD c = 0; c < config.numOutputs; ++c)
      for (DWORD& half : config.outputs[c].half) half += base;
    config.status += base;
    memcpy(out, &config, sizeof config);
    if (returned) *returned = sizeof config;
    return TRUE;
  };
  bool needsWord = code == IOCTL_VV_SET_SAMPLE_RATE || code == IOCTL_VV_SET_START_POSITION ||
                   code == IOCTL_VV_SET_BUFFERS || code == IOCTL_VV_OPEN_STREAM;
  if (needsWord && (!in || inSize < 4)) return fail(ERROR_INVALID_PARAMETER);

  switch (code) {
    case IOCTL_VV_GET_VERSION:
      return answer(out, outSize, returned, {0});

    case IOCTL_VV_OPEN_STREAM: {
      if (inSize < sizeof(StreamConfig)) return fail(ERROR_INVALID_PARAMETER);
      if (owner_ && !owner) return fail(ERROR_BUSY);
      catchUp(Clock::now());
      if (!model_.claimStream()) return fail(ERROR_NOT_ENOUGH_MEMORY);
      // The owner's claim again keeps the size while the stream runs.
      if (!(owner && model_.running())) model_.setBufferFrames(word(in) / 4);
      owner_ = handle;
      return streamConfig();
    }

    case IOCTL_VV_SET_BUFFERS: {
      if (!owner) return fail(ERROR_ACCESS_DENIED);
      if (model_.running()) return fail(ERROR_BUSY);
      model_.setBufferFrames(word(in) / 4);  // the claim's rule: the size asked for, within range
      return streamConfig();
    }

    case IOCTL_VV_START:
      if (!owner) return fail(ERROR_ACCESS_DENIED);
      model_.start();
      for (auto& [key, other] : handles_) other->wokenFor = 0;
      reanchor(Clock::now());
      changed_.notify_all();
      return TRUE;

    case IOCTL_VV_STOP:
      if (!owner) return fail(ERROR_ACCESS_DENIED);
      catchUp(Clock::now());
      model_.stop();
      return TRUE;

    case IOCTL_VV_SET_SAMPLE_RATE: {
      DWORD rate = word(in);
      if (!txvv::isSupportedRate(rate)) return fail(ERROR_INVALID_PARAMETER);
      if (model_.slaved()) return fail(ERROR_NOT_SUPPORTED);
      catchUp(Clock::now());
      model_.setInternalRate(rate);
      reanchor(Clock::now());
      ++rateGeneration_;
      return TRUE;
    }

    case IOCTL_VV_GET_SAMPLE_RATE:
      return answer(out, outSize, returned, {model_.rate()});

    case IOCTL_VV_SELECT_SPDIF_CLOCK:
    case IOCTL_VV_SELECT_INTERNAL_CLOCK: {
      catchUp(Clock::now());
      uint32_t before = model_.rate();
      model_.setSlaved(code == IOCTL_VV_SELECT_SPDIF_CLOCK);
      reanchor(Clock::now());
      if (model_.rate() != before) ++rateGeneration_;
      return TRUE;
    }

    case IOCTL_VV_GET_CLOCK_MODE:
      return answer(out, outSize, returned, {model_.slaved() ? 1u : 0u});

    case IOCTL_VV_WAIT_HALF_BUFFER: {
      if (outSize < 8) return fail(ERROR_INSUFFICIENT_BUFFER);
      DWORD words[2];
      if (!waitHalf(hold, me, words)) return FALSE;
      memcpy(out, words, 8);
      if (returned) *returned = 8;
      return TRUE;
    }

    case IOCTL_VV_GET_POSITION:
      catchUp(Clock::now());
      return answer(out, outSize, returned,
                    {model_.sampleCount(), model_.running() ? model_.framesIntoHalf() : 0u});

    case IOCTL_VV_SET_START_POSITION:
      if (!owner) return fail(ERROR_ACCESS_DENIED);
      model_.setSampleCount(word(in));
      return TRUE;
  }
  return fail(ERROR_INVALID_FUNCTION);
}

// A counted event per handle, as the card driver's: every half completed since the start
// wakes each handle once, however late its wait comes.
BOOL InProcessCard::waitHalf(std::unique_lock<std::mutex>& hold, std::shared_ptr<Handle> handle,
                             DWORD* words) {
  changed_.wait(hold, [&] {
    return quit_ || handle->closed || handle->wokenFor < model_.completedHalves();
  });
  if (quit_ || handle->closed) return fail(ERROR_OPERATION_ABORTED);
  ++handle->wokenFor;
  words[0] = model_.rate();
  words[1] = handle->rateSeen != rateGeneration_ ? 1 : 0;
  handle->rateSeen = rateGeneration_;
  return TRUE;
}

// Frames pass at the card's rate from the anchor; the model is brought up to now in steps
// that end at its events.
void InProcessCard::catchUp(Clock::time_point now) {
  uint32_t rate = model_.rate();
  if (!model_.running() || rate == 0 || now < anchor_) return;
  uint64_t due = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(now - anchor_).count()) *
      rate / 1000000;
  bool completed = false;
  while (processed_ < due) {
    uint64_t step = model_.framesToNextEvent();
    if (step > due - processed_) step = due - processed_;
    completed |= model_.advance(static_cast<uint32_t>(step), timeGetTime()).halfCompleted;
    processed_ += step;
  }
  if (completed) changed_.notify_all();
}

void InProcessCard::reanchor(Clock::time_point now) {
  anchor_ = now;
  processed_ = 0;
}

void InProcessCard::clockThread() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!quit_) {
    uint32_t rate = model_.rate();
    if (!model_.running() || rate == 0) {
      changed_.wait(hold);
      continue;
    }
    catchUp(Clock::now());
    uint64_t next = processed_ + model_.framesToNextEvent();
    changed_.wait_until(hold, anchor_ + std::chrono::microseconds(next * 1000000 / rate));
  }
}

}  // namespace wine_card
