// Vexa-o-meter metering a busy card: the whole window (application object, frame, idle sleep,
// paints) runs against a private txvvd for a while, then reports its own processor share and
// how often it painted.
//
//   meter_bench [--seconds N] [--rate HZ] [--meter-block N]   (needs a display: xvfb-run)
#include "meter_app.h"
#include "meter_frame.h"

#include <card_fixture.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

#include <wx/timer.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int seconds = 30;

class BenchApp : public MeterApp {
public:
  bool OnInit() override {
    if (!MeterApp::OnInit()) return false;
    frame_ = static_cast<MeterFrame*>(GetTopWindow());
    // Measure after start-up, so the figures are those of steady metering.
    warmUp_.Bind(wxEVT_TIMER, &BenchApp::Begin, this);
    warmUp_.StartOnce(2000);
    return true;
  }

  int OnExit() override {
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double cpu = CpuSeconds() - cpuStart_;
    printf("metered for %.1f s\n", wall);
    printf("CPU share of one core: %.2f %%\n", 100.0 * cpu / wall);
    printf("paints per second: %.1f\n", paints_ / wall);
    printf("widget draws per second: %.1f\n", draws_ / wall);
    printf("meter-data calls per second: %.1f\n", calls_ / wall);
    return MeterApp::OnExit();
  }

private:
  void Begin(wxTimerEvent&) {
    start_ = std::chrono::steady_clock::now();
    cpuStart_ = CpuSeconds();
    paints0_ = frame_->Painted().paints;
    draws0_ = frame_->Painted().draws;
    calls0_ = MeterFrame::meterDataCalls;
    end_.Bind(wxEVT_TIMER, &BenchApp::End, this);
    end_.StartOnce(seconds * 1000);
  }
  void End(wxTimerEvent&) {
    paints_ = frame_->Painted().paints - paints0_;
    draws_ = frame_->Painted().draws - draws0_;
    calls_ = MeterFrame::meterDataCalls - calls0_;
    frame_->Close(true);
  }

  MeterFrame* frame_ = nullptr;
  wxTimer warmUp_, end_;
  std::chrono::steady_clock::time_point start_;
  double cpuStart_ = 0;
  uint32_t paints0_ = 0, draws0_ = 0, calls0_ = 0;
  uint32_t paints_ = 0, draws_ = 0, calls_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::string rate = "96000";
  std::string block;  // the card's default: a 25th of a second
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--rate") && i + 1 < argc) {
      rate = argv[++i];
    } else if (!strcmp(argv[i], "--meter-block") && i + 1 < argc) {
      block = argv[++i];
    } else {
      fprintf(stderr, "usage: meter_bench [--seconds N] [--rate HZ] [--meter-block N]\n");
      return 2;
    }
  }
  if (seconds < 1) seconds = 1;

  // The meter's settings stay out of the user's configuration.
  char pattern[] = "/tmp/vexameter-bench-XXXXXX";
  const char* config = mkdtemp(pattern);
  if (!config) return 1;
  setenv("XDG_CONFIG_HOME", config, 1);

  int status;
  {
    std::vector<std::string> options = {"--rate", rate, "--lively", "--rt-priority", "0"};
    if (!block.empty()) options.insert(options.end(), {"--meter-block", block});
    vexa::testing::CardDaemon card(options);
    if (!card.started()) {
      fprintf(stderr, "txvvd: %s\n", card.error().c_str());
      return 1;
    }
    printf("card: %s Hz, lively signal, meter blocks of %s samples\n", rate.c_str(),
           block.empty() ? "rate / 25" : block.c_str());
    wxApp::SetInstance(new BenchApp);
    int toolkitArgc = 1;  // the options above are not the toolkit's
    status = wxEntry(toolkitArgc, argv);
  }
  std::error_code ignored;
  std::filesystem::remove_all(config, ignored);
  return status;
}
