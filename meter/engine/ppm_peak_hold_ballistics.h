// Peak programme meter whose peak holds for three seconds after each new maximum of the level,
// then falls by a fixed fraction per sample.
#pragma once

#include "meter_ballistics.h"

class PpmPeakHoldBallistics : public MeterBallistics {
public:
  static constexpr double kPeakFallPerSample = 0.00025;
  static const int32_t kHoldMilliseconds = 3000;

  PpmPeakHoldBallistics();

  const char* Name() const override;
  double LevelDb() const override;
  double PeakDb() const override;
  void Process(const int32_t* samples, int32_t count, int32_t rate) override;

  int32_t HoldCounter() const { return holdCounter_; }

private:
  double envelope_ = kFullScale;
  double level_ = kFullScale;
  double peak_ = 0.0;
  int32_t holdCounter_ = 3000;
};
