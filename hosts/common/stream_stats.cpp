#include "stream_stats.h"

#include <math.h>

#include <algorithm>

namespace {

double percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t at = static_cast<size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
  return values[std::min(at, values.size() - 1)];
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
    if (records[i].position - records[i - 1].position != size) figures.irregularSteps++;
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
    std::vector<double> lateness;
    for (const auto& record : records) {
      double ideal = static_cast<double>(record.position - records.front().position) * 1e9 / rate;
      lateness.push_back((static_cast<double>(record.wallNs - records.front().wallNs) - ideal) /
                         1000.0);
    }
    double earliest = *std::min_element(lateness.begin(), lateness.end());
    for (double& l : lateness) l -= earliest;
    figures.lateMedianUs = percentile(lateness, 0.5);
    figures.lateP99Us = percentile(lateness, 0.99);
    figures.lateMaxUs = *std::max_element(lateness.begin(), lateness.end());
  }
  return figures;
}
