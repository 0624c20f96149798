#include "card_options.h"

#include <algorithm>

namespace txvv {

bool isSupportedRate(uint32_t rate) {
  static const std::set<uint32_t> rates = {9600,  11025, 12000, 16000, 22050, 24000,
                                           32000, 44100, 48000, 88200, 96000};
  return rates.count(rate) != 0;
}

uint32_t meterBlockFramesAt(const CardOptions& options, uint32_t rate) {
  if (options.meterBlockFrames != 0) return options.meterBlockFrames;
  return std::clamp(rate / kMeterBlocksPerSecond, kMinMeterBlockFrames, kMaxMeterBlockFrames);
}

// The S/PDIF input may bring any rate, so a block that follows the rate may reach the top.
uint32_t largestMeterBlockFrames(const CardOptions& options) {
  return options.meterBlockFrames != 0 ? options.meterBlockFrames : kMaxMeterBlockFrames;
}

}  // namespace txvv
