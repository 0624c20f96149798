#include "card_model.h"

#include <algorithm>
#include <string.h>

namespace txvv {

CardModel::CardModel(const CardOptions& options)
    : options_(options),
      internalRate_(options.rate),
      slaved_(options.slaved),
      spdifPresent_(options.spdifPresent),
      spdifRate_(options.spdifRate),
      routing_(options.routing),
      sampleCount_(options.sampleCountStart) {
  signals_.resize(options_.inputs);
  captures_.resize(options_.outputs);
  // Work areas hold one event's worth of frames at most.
  uint32_t largest = largestMeterBlockFrames(options_);
  uint32_t chunk = std::max(kMaxHalfFrames, largest);
  scratchIn_.assign(options_.inputs, std::vector<int32_t>(chunk));
  silence_.assign(chunk, 0);
  played_.assign(options_.outputs, silence_.data());
  tap_[0].assign(largest, 0);
  tap_[1].assign(largest, 0);
  uint32_t now = rate();
  blockFrames_ = meterBlockFramesAt(options_, now != 0 ? now : internalRate_);
}

bool CardModel::prepare(std::string* error) {
  for (auto& [input, setup] : options_.signals) {
    if (input >= options_.inputs) {
      *error = "no input " + std::to_string(input);
      return false;
    }
    if (setup.kind == SignalSetup::Loop && setup.loopOutput >= options_.outputs) {
      *error = "no output " + std::to_string(setup.loopOutput) + " to loop back";
      return false;
    }
    if (!signals_[input].configure(setup, error)) return false;
  }
  for (auto& [output, path] : options_.captures) {
    if (output >= options_.outputs) {
      *error = "no output " + std::to_string(output);
      return false;
    }
    captures_[output] = std::make_unique<WavWriter>();
    if (!captures_[output]->open(path, rate() ? rate() : internalRate_, error)) return false;
  }
  return true;
}

uint32_t CardModel::rate() const {
  if (!slaved_) return internalRate_;
  return spdifPresent_ ? spdifRate_ : 0;
}

void CardModel::setSpdifInput(bool present, uint32_t rate) {
  spdifPresent_ = present && rate != 0;
  if (rate != 0) spdifRate_ = rate;
  followRate();
}

// Without a clock no frames pass, so the block keeps its size until a rate comes back.
void CardModel::followRate() {
  uint32_t now = rate();
  if (now == 0) return;
  uint32_t frames = meterBlockFramesAt(options_, now);
  if (frames == blockFrames_) return;
  blockFrames_ = frames;
  tapFill_ = 0;
}

uint32_t CardModel::nearestBufferFrames(uint32_t frames) const {
  return std::clamp(frames, options_.minBufferFrames, kMaxHalfFrames);
}

void CardModel::setBufferFrames(uint32_t asked) { bufferFrames_ = nearestBufferFrames(asked); }

bool CardModel::claimStream() {
  if (!region_) {
    size_t size = kStatusAreaBytes +
                  size_t(options_.inputs + options_.outputs) * 2 * kLargestHalfStride;
    region_ = SharedRegion::create("txvv-stream", size);
    if (!region_) return false;
    running_ = false;
    completedHalves_ = 0;
    currentHalf_ = 0;
    posInHalf_ = 0;
  }
  return true;
}

void CardModel::releaseStream() {
  stop();
  region_.reset();
  bufferFrames_ = 0;
}

int32_t* CardModel::half(bool output, uint32_t channel, uint32_t which) const {
  uint32_t index = output ? options_.inputs + channel : channel;
  return reinterpret_cast<int32_t*>(region_->base() + halfOffset(index, which));
}

void CardModel::describeStream(StreamConfig* config) const {
  memset(config, 0, sizeof *config);
  config->bufferBytes = bufferFrames_ * 4;
  config->numInputs = options_.inputs;
  config->numOutputs = options_.outputs;
  for (uint32_t c = 0; c < options_.inputs + options_.outputs; ++c) {
    HalfBufferPair& pair = c < options_.inputs ? config->inputs[c] : config->outputs[c - options_.inputs];
    for (uint32_t h = 0; h < 2; ++h) pair.half[h] = uint32_t(halfOffset(c, h));
  }
  config->status = 0;
  config->minBufferSize = options_.minBufferFrames;
}

void CardModel::start() {
  running_ = true;
  posInHalf_ = 0;
  currentHalf_ = 0;
  completedHalves_ = 0;
  auto* status = reinterpret_cast<StreamStatus*>(region_->base());
  status->currentHalf = 0;
  status->completedHalves = 0;
}

void CardModel::stop() {
  running_ = false;
  posInHalf_ = 0;
}

uint32_t CardModel::framesToNextEvent() const {
  uint32_t toBlock = blockFrames_ - tapFill_;
  if (!running_) return toBlock;
  uint32_t toHalf = bufferFrames_ - posInHalf_;
  return toHalf < toBlock ? toHalf : toBlock;
}

void CardModel::tapChannels(uint32_t* first, uint32_t* second, bool* outputs) const {
  bool spdif = routing_ == 3 || routing_ == 4;
  *outputs = routing_ == 1 || routing_ == 4;
  uint32_t count = *outputs ? options_.outputs : options_.inputs;
  uint32_t base = spdif && count >= 2 ? count - 2 : 0;
  *first = base;
  *second = base + 1 < count ? base + 1 : base;
}

CardModel::Events CardModel::advance(uint32_t n, uint32_t msNow) {
  Events events;
  if (n == 0) return events;
  uint32_t h = currentHalf_;
  for (uint32_t o = 0; o < options_.outputs; ++o) {
    played_[o] = running_ ? half(true, o, h) + posInHalf_ : silence_.data();
    if (running_ && captures_[o]) captures_[o]->write(played_[o], n);
  }
  for (uint32_t i = 0; i < options_.inputs; ++i) {
    signals_[i].render(scratchIn_[i].data(), n, rate(), running_ ? played_.data() : nullptr,
                       options_.outputs);
    if (running_) memcpy(half(false, i, h) + posInHalf_, scratchIn_[i].data(), n * 4);
  }

  uint32_t first, second;
  bool outputs;
  tapChannels(&first, &second, &outputs);
  uint32_t channels = outputs ? options_.outputs : options_.inputs;
  for (int k = 0; k < 2; ++k) {
    uint32_t c = k == 0 ? first : second;
    const int32_t* source = c >= channels ? silence_.data()
                            : outputs     ? played_[c]
                                          : scratchIn_[c].data();
    memcpy(tap_[k].data() + tapFill_, source, n * 4);
  }
  tapFill_ += n;
  if (tapFill_ == blockFrames_) {
    tapFill_ = 0;
    events.meterBlockReady = true;
  }

  if (running_) {
    posInHalf_ += n;
    if (posInHalf_ == bufferFrames_) {
      auto* status = reinterpret_cast<StreamStatus*>(region_->base());
      sampleCount_ += bufferFrames_;
      status->halves[h].sampleCount = sampleCount_;
      status->halves[h].time = msNow;
      currentHalf_ = h ^ 1;
      ++completedHalves_;
      status->completedHalves = completedHalves_;
      status->currentHalf = currentHalf_;
      posInHalf_ = 0;
      events.halfCompleted = true;
    }
  }
  return events;
}

}  // namespace txvv
