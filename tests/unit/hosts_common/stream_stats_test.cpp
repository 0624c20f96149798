// Lost halves as the streaming benchmark sets them beside the machine's stalls.
#include "stream_stats.h"

#include <gtest/gtest.h>

namespace {

constexpr long kFrames = 32;
constexpr double kRate = 96000;
constexpr int64_t kPeriodNs = 333333;

CallbackRecord at(int64_t wallNs, uint64_t position) {
  CallbackRecord record{};
  record.wallNs = wallNs;
  record.position = position;
  return record;
}

TEST(StreamStats, APositionStepOfThreeBuffersIsTwoHalvesLostAtTheCallbackAfterThem) {
  std::vector<CallbackRecord> records = {at(0, 0), at(kPeriodNs, 32), at(4 * kPeriodNs, 128),
                                         at(5 * kPeriodNs, 160)};
  StreamFigures f = computeFigures(records, kFrames, kRate);
  EXPECT_EQ(f.missedHalves, 2u);
  ASSERT_EQ(f.losses.size(), 1u);
  EXPECT_EQ(f.losses[0].wallNs, 4 * kPeriodNs);
  EXPECT_EQ(f.losses[0].halves, 2u);
}

TEST(StreamStats, OnACallbackGridOnlyACallbackMoreThanAPeriodLateIsLost) {
  // The third callback comes 0.9 periods late, the fifth 1.5 periods late; both catch up.
  std::vector<CallbackRecord> records = {
      at(0, 0), at(kPeriodNs, 32), at(2 * kPeriodNs + kPeriodNs * 9 / 10, 64),
      at(3 * kPeriodNs, 96), at(4 * kPeriodNs + kPeriodNs * 3 / 2, 128), at(5 * kPeriodNs + 1000, 160)};
  StreamFigures f = computeFigures(records, kFrames, kRate);
  EXPECT_TRUE(f.losses.empty());
  countLateHalvesLost(records, kFrames, kRate, &f);
  EXPECT_EQ(f.missedHalves, 1u);
  ASSERT_EQ(f.losses.size(), 1u);
  EXPECT_EQ(f.losses[0].wallNs, 4 * kPeriodNs + kPeriodNs * 3 / 2);
}

TEST(StreamStats, ACardThatSkippedTimeShiftsTheGridWithoutLosingEveryLaterHalf) {
  std::vector<CallbackRecord> records;
  for (int i = 0; i < 6; i++) records.push_back(at((i < 3 ? i : i + 10) * kPeriodNs, i * 32u));
  StreamFigures f = computeFigures(records, kFrames, kRate);
  countLateHalvesLost(records, kFrames, kRate, &f);
  EXPECT_EQ(f.missedHalves, 0u);
}

}  // namespace
