// Peak programme meter without peak hold: instant attack, 0.65 s release, 1.7 ms smoothing.
#pragma once

#include "meter_ballistics.h"

class PpmBallistics : public MeterBallistics {
public:
  PpmBallistics();

  const char* Name() const override;
  double LevelDb() const override;
  double PeakDb() const override;
  void Process(const int32_t* samples, int32_t count, int32_t rate) override;

private:
  // A new meter starts at full scale so that it falls from the top when metering begins.
  double envelope_ = kFullScale;
  double level_ = kFullScale;
};
