#include "host_recorder.h"

#include <thread>

namespace {

HostRecorder* active = nullptr;

void record(long index, bool timeInfo, const ASIOTime* params) {
  HostRecorder& host = HostRecorder::current();
  RecordedSwitch entry{};
  entry.index = index;
  entry.timeInfo = timeInfo;
  if (params) entry.passedPosition = params->timeInfo.samplePosition;
  entry.positionResult = ASE_OK;
  if (host.driver) entry.positionResult = host.driver->getSamplePosition(&entry.position, &entry.stamp);
  std::lock_guard<std::mutex> guard(host.lock);
  host.recorded.push_back(entry);
}

void bufferSwitch(long index, ASIOBool) { record(index, false, nullptr); }

ASIOTime* bufferSwitchTimeInfo(ASIOTime* params, long index, ASIOBool) {
  record(index, true, params);
  return params;
}

void sampleRateDidChange(ASIOSampleRate rate) {
  HostRecorder& host = HostRecorder::current();
  if (host.streamLock) {
    bool taken = false;
    std::thread probe([&] {
      taken = TryEnterCriticalSection(host.streamLock);
      if (taken) LeaveCriticalSection(host.streamLock);
    });
    probe.join();
    host.lockHeldDuringRateChange = !taken;
  }
  {
    std::lock_guard<std::mutex> guard(host.lock);
    host.switchesAtRateChange = host.recorded.size();
    host.rates.push_back(rate);
  }
  if (host.blockInRateChange.load()) {
    for (;;) Sleep(50);
  }
}

long asioMessage(long selector, long, void*, double*) {
  HostRecorder& host = HostRecorder::current();
  {
    std::lock_guard<std::mutex> guard(host.lock);
    host.selectors.push_back(selector);
  }
  return selector == kAsioSupportsTimeInfo ? host.supportsTimeInfo : 0;
}

}  // namespace

HostRecorder& HostRecorder::current() { return *active; }

HostRecorder::HostRecorder() { active = this; }

HostRecorder::~HostRecorder() { active = nullptr; }

ASIOCallbacks HostRecorder::callbacks(bool withTimeInfo) {
  return {&bufferSwitch, &sampleRateDidChange, &asioMessage,
          withTimeInfo ? &bufferSwitchTimeInfo : nullptr};
}

std::vector<RecordedSwitch> HostRecorder::switches() {
  std::lock_guard<std::mutex> guard(lock);
  return recorded;
}

std::vector<double> HostRecorder::rateChanges() {
  std::lock_guard<std::mutex> guard(lock);
  return rates;
}

std::vector<long> HostRecorder::messages() {
  std::lock_guard<std::mutex> guard(lock);
  return selectors;
}
