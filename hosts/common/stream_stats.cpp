#include "stream_stats.h"

#include <math.h>
#include <stdio.h>

#include <algorithm>

namespace {

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
}

// Each callback's lateness against the grid its positions define, relative to the earliest.
std::vector<double> latenessUs(const std::vector<CallbackRecord>& records, double rate) {
  std::vector<double> lateness;
  if (records.empty() || rate <= 0) return lateness;
  for (const auto& record : records) {
    double ideal = static_cast<double>(record.position - records.front().position) * 1e9 / rate;
    lateness.push_back((static_cast<double>(record.wallNs - records.front().wallNs) - ideal) /
                       1000.0);
  }
  double earliest = *std::min_element(lateness.begin(), lateness.end());
  for (double& l : lateness) l -= earliest;
  return lateness;
}

}  // namespace

uint64_t undeliveredHalves(int64_t lastCallbackNs, int64_t stopNs, long bufferSize, double rate) {
  if (bufferSize <= 0 || rate <= 0 || stopNs <= lastCallbackNs) return 0;
  double periodNs = 1e9 * static_cast<double>(bufferSize) / rate;
  double silentNs = static_cast<double>(stopNs - lastCallbackNs);
  // A loaded machine delays a callback by a few periods now and then, never by this much.
  if (silentNs <= fmax(4 * periodNs, 250e6)) return 0;
  return static_cast<uint64_t>(silentNs / periodNs);
}

StreamFigures computeFigures(const std::vector<CallbackRecord>& records, long bufferSize,
                             double rate) {
  StreamFigures figures;
  figures.callbacks = records.size();
  if (records.empty()) return figures;
  for (const auto& record : records) figures.timeInfoCallbacks += record.viaTimeInfo ? 1 : 0;

  uint64_t size = bufferSize > 0 ? static_cast<uint64_t>(bufferSize) : 1;
  uint64_t span = records.back().position - records.front().position;
  figures.halvesCompleted = span / size + 1;
  figures.missedHalves =
      figures.halvesCompleted > records.size() ? figures.halvesCompleted - records.size() : 0;

  std::vector<double> periods;
  for (size_t i = 1; i < records.size(); i++) {
    uint64_t step = records[i].position - records[i - 1].position;
    if (step != size) figures.irregularSteps++;
    if (step > size) figures.losses.push_back({records[i].wallNs, step / size - 1});
    periods.push_back(static_cast<double>(records[i].wallNs - records[i - 1].wallNs) / 1000.0);
  }
  if (!periods.empty()) {
    double sum = 0;
    for (double p : periods) sum += p;
    figures.periodMeanUs = sum / static_cast<double>(periods.size());
    double squares = 0;
    for (double p : periods) squares += (p - figures.periodMeanUs) * (p - figures.periodMeanUs);
    figures.periodSdUs = sqrt(squares / static_cast<double>(periods.size()));
    figures.periodMinUs = *std::min_element(periods.begin(), periods.end());
    figures.periodMaxUs = *std::max_element(periods.begin(), periods.end());
  }

  if (rate > 0) {
    std::vector<double> lateness = latenessUs(records, rate);
    figures.lateMedianUs = percentile(lateness, 0.5);
    figures.lateP99Us = percentile(lateness, 0.99);
    figures.lateMaxUs = *std::max_element(lateness.begin(), lateness.end());
  }
  return figures;
}

void countLateHalvesLost(const std::vector<CallbackRecord>& records, long bufferSize, double rate,
                         StreamFigures* figures) {
  figures->losses.clear();
  figures->missedHalves = 0;
  if (bufferSize <= 0 || rate <= 0) return;
  double periodUs = 1e6 * static_cast<double>(bufferSize) / rate;
  std::vector<double> lateness = latenessUs(records, rate);
  // Each callback is measured against the earliest one after it, so a card that skipped time
  // (its clock gives up catching up after a long stall) shifts the grid without making every
  // later callback a loss.
  std::vector<double> earliestFrom(lateness.size() + 1, 1e300);
  for (size_t i = lateness.size(); i-- > 0;)
    earliestFrom[i] = std::min(lateness[i], earliestFrom[i + 1]);
  for (size_t i = 0; i < lateness.size(); i++)
    if (lateness[i] - earliestFrom[i] > periodUs) figures->losses.push_back({records[i].wallNs, 1});
  figures->missedHalves = figures->losses.size();
}

void printLosses(const StreamFigures& figures) {
  for (const LostHalves& loss : figures.losses)
    printf("LOSS wall_ns=%lld halves=%llu\n", static_cast<long long>(loss.wallNs),
           static_cast<unsigned long long>(loss.halves));
}
