#include "meter_ballistics.h"

#include "ppm_ballistics.h"
#include "ppm_peak_hold_ballistics.h"

std::unique_ptr<MeterBallistics> MakeBallistics(int32_t mode) {
  if (mode == 1) return std::make_unique<PpmPeakHoldBallistics>();
  return std::make_unique<PpmBallistics>();
}
