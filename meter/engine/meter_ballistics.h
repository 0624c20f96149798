// One channel's meter: turns raw left-justified 32-bit samples into a level and a peak in dB
// below full scale, and keeps clip statistics. The modes differ in level and peak only.
#pragma once

#include <stdint.h>

#include <memory>

class MeterBallistics {
public:
  // 0x7FFFFF00: the 24-bit maximum shifted into the top of the 32-bit sample.
  static constexpr double kFullScale = 2147483392.0;
  static constexpr double kFloorDb = -188.0;

  explicit MeterBallistics(int32_t clipBits);
  virtual ~MeterBallistics();
  MeterBallistics(const MeterBallistics&) = delete;
  MeterBallistics& operator=(const MeterBallistics&) = delete;

  virtual const char* Name() const = 0;
  virtual double LevelDb() const = 0;
  virtual double PeakDb() const = 0;
  // `count` samples at `rate` Hz. A count or rate of 0 or less, or no samples, changes nothing.
  virtual void Process(const int32_t* samples, int32_t count, int32_t rate) = 0;

  int32_t LongestClipRun() const { return longestClipRun_; }
  int32_t ClipRunCount() const { return clipRunCount_; }
  // Forgets the statistics only; a run going on now is still counted in full when it ends.
  void ResetClips();
  // Samples at or beyond the top `bits` bits' full scale count as clipped.
  void SetClipBits(int32_t bits);

  int32_t ClipBits() const { return clipBits_; }
  int32_t ClipHigh() const { return clipHigh_; }
  int32_t ClipLow() const { return clipLow_; }

  // A magnitude in sample units as dB below full scale, never below the floor.
  static double ToDb(double value);

  // The per-sample smoothing weights at `rate` Hz: the level's (time constant 1.7 ms) and the
  // envelope's release (0.65 s).
  static double LevelCoefficient(int32_t rate);
  static double ReleaseCoefficient(int32_t rate);

protected:
  void TrackClips(const int32_t* samples, int32_t count);

  // Long silence decays every state towards zero, and the formulas would carry it into
  // subnormal numbers, which the processor handles many times slower. Anything below this
  // reads as the dB floor and is lost in rounding beside any sample, so it is taken as zero
  // once a block is done.
  static double FlushTiny(double value) { return value < 1e-20 ? 0.0 : value; }

private:
  int32_t clipBits_ = 0;
  int32_t clipHigh_ = 0;
  int32_t clipLow_ = 0;
  int32_t clipRunCount_ = 0;
  int32_t longestClipRun_ = 0;
  int32_t inClip_ = 0;
  int32_t runLength_ = 0;
};

// Mode 1 is "Peak / Hold" (PpmPeakHoldBallistics); any other mode is "Peak Program"
// (PpmBallistics).
std::unique_ptr<MeterBallistics> MakeBallistics(int32_t mode);
