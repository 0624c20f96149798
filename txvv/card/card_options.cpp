#include "card_options.h"

namespace txvv {

bool isSupportedRate(uint32_t rate) {
  static const std::set<uint32_t> rates = {9600,  11025, 12000, 16000, 22050, 24000,
                                           32000, 44100, 48000, 88200, 96000};
  return rates.count(rate) != 0;
}

}  // namespace txvv
