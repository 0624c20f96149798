// Vexa-o-meter metering a busy card: the whole window (application object, frame, idle sleep,
// paints) runs against a private txvvd for a while, then reports its own processor share and
// how often it painted.
//
//   meter_bench [--seconds N] [--rounds N] [--rate HZ] [--meter-block N]
//               [--signal lively|moving]
//   (needs a display: xvfb-run). "lively" is txvvd's demo (steady tones on the metered
//   inputs); "moving" keeps both meters moving, so that most blocks cost a repaint. Rounds of
//   N seconds each follow one another in one run; with more than one the median share is
//   printed too, as rounds on a shared machine scatter.
#include "meter_app.h"
#include "meter_frame.h"

#include <card_fixture.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

#include <wx/timer.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct CpuTime {
  double user = 0, system = 0;
  double Total() const { return user + system; }
};

// Every thread of this process: the window's and the card client's reader.
CpuTime ProcessCpu() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return {usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6,
          usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6};
}

int seconds = 30;
int rounds = 1;

// One measured stretch of metering.
struct Round {
  double wall = 0;
  CpuTime cpu;
  uint32_t paints = 0, draws = 0, calls = 0;
  double Share() const { return 100.0 * cpu.Total() / wall; }
};

class BenchApp : public MeterApp {
public:
  bool OnInit() override {
    if (!MeterApp::OnInit()) return false;
    frame_ = static_cast<MeterFrame*>(GetTopWindow());
    // Measure after start-up, so the figures are those of steady metering.
    warmUp_.Bind(wxEVT_TIMER, &BenchApp::Begin, this);
    warmUp_.StartOnce(2000);
    end_.Bind(wxEVT_TIMER, &BenchApp::End, this);
    return true;
  }

  int OnExit() override {
    // Reported when the window has closed: tearing it down is not metering.
    if (done_.size() < size_t(rounds)) {
      fprintf(stderr, "meter_bench: the window closed before the measurement ended\n");
      return MeterApp::OnExit();
    }
    for (size_t i = 0; i < done_.size(); ++i) {
      const Round& r = done_[i];
      if (rounds > 1) printf("round %zu: ", i + 1);
      printf("metered for %.1f s\n", r.wall);
      printf("CPU share of one core: %.2f %% (user %.2f %%, system %.2f %%)\n", r.Share(),
             100.0 * r.cpu.user / r.wall, 100.0 * r.cpu.system / r.wall);
      printf("paints per second: %.1f\n", r.paints / r.wall);
      printf("widget draws per second: %.1f\n", r.draws / r.wall);
      printf("meter-data calls per second: %.1f\n", r.calls / r.wall);
    }
    if (rounds > 1) {
      std::vector<double> shares;
      for (const Round& r : done_) shares.push_back(r.Share());
      std::sort(shares.begin(), shares.end());
      printf("median CPU share of one core over %d rounds: %.2f %% (lowest %.2f %%, highest %.2f %%)\n",
             rounds, shares[shares.size() / 2], shares.front(), shares.back());
    }
    return MeterApp::OnExit();
  }

private:
  void Begin(wxTimerEvent&) {
    start_ = std::chrono::steady_clock::now();
    cpuStart_ = ProcessCpu();
    paints0_ = frame_->Painted().paints;
    draws0_ = frame_->Painted().draws;
    calls0_ = MeterFrame::meterDataCalls;
    end_.StartOnce(seconds * 1000);
  }
  void End(wxTimerEvent& event) {
    Round round;
    round.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const CpuTime now = ProcessCpu();
    round.cpu = {now.user - cpuStart_.user, now.system - cpuStart_.system};
    round.paints = frame_->Painted().paints - paints0_;
    round.draws = frame_->Painted().draws - draws0_;
    round.calls = MeterFrame::meterDataCalls - calls0_;
    done_.push_back(round);
    if (done_.size() < size_t(rounds))
      Begin(event);
    else
      frame_->Close(true);
  }

  MeterFrame* frame_ = nullptr;
  wxTimer warmUp_, end_;
  std::chrono::steady_clock::time_point start_;
  CpuTime cpuStart_;
  uint32_t paints0_ = 0, draws0_ = 0, calls0_ = 0;
  std::vector<Round> done_;
};

// A stereo WAV of 32-bit samples that keeps the meters moving the way music does: a 1 kHz tone
// rises by 1 dB per meter block from -21 to -2 dBFS, then stops, and the ballistics' release
// lets the bar fall again; the right channel runs half a cycle behind the left. A rise lights
// another segment with every block, a fall about every third block.
bool WriteMovingWav(const std::string& path, int32_t rate, int32_t block) {
  const int32_t kRising = 20, kCycle = 68;
  FILE* file = fopen(path.c_str(), "wb");
  if (!file) return false;
  const uint32_t frames = static_cast<uint32_t>(kCycle) * static_cast<uint32_t>(block);
  const uint32_t dataBytes = frames * 2 * 4;
  auto bytes = [file](uint32_t value, int count) {
    for (int i = 0; i < count; ++i) fputc(static_cast<int>((value >> (8 * i)) & 0xFF), file);
  };
  fwrite("RIFF", 1, 4, file);
  bytes(36 + dataBytes, 4);
  fwrite("WAVEfmt ", 1, 8, file);
  bytes(16, 4);
  bytes(1, 2);  // integer PCM
  bytes(2, 2);
  bytes(static_cast<uint32_t>(rate), 4);
  bytes(static_cast<uint32_t>(rate) * 8, 4);
  bytes(8, 2);
  bytes(32, 2);
  fwrite("data", 1, 4, file);
  bytes(dataBytes, 4);
  auto amplitude = [&](uint32_t frame, int32_t lagBlocks) {
    const int32_t step = static_cast<int32_t>(frame / block + lagBlocks) % kCycle;
    return step < kRising ? 2147483392.0 * pow(10.0, (-21.0 + step) / 20) : 0.0;
  };
  for (uint32_t i = 0; i < frames; ++i) {
    const double tone = sin(2 * M_PI * 1000.0 * i / rate);
    bytes(static_cast<uint32_t>(static_cast<int32_t>(tone * amplitude(i, 0))), 4);
    bytes(static_cast<uint32_t>(static_cast<int32_t>(tone * amplitude(i, kCycle / 2))), 4);
  }
  return fclose(file) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string rate = "96000";
  std::string block;  // the card's default: a 25th of a second
  std::string signal = "lively";
  for (int i = 1; i < argc; ++i) {
    if (!strcmp(argv[i], "--seconds") && i + 1 < argc) {
      seconds = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--rounds") && i + 1 < argc) {
      rounds = atoi(argv[++i]);
    } else if (!strcmp(argv[i], "--rate") && i + 1 < argc) {
      rate = argv[++i];
    } else if (!strcmp(argv[i], "--meter-block") && i + 1 < argc) {
      block = argv[++i];
    } else if (!strcmp(argv[i], "--signal") && i + 1 < argc &&
               (!strcmp(argv[i + 1], "lively") || !strcmp(argv[i + 1], "moving"))) {
      signal = argv[++i];
    } else {
      fprintf(stderr,
              "usage: meter_bench [--seconds N] [--rounds N] [--rate HZ] [--meter-block N] "
              "[--signal lively|moving]\n");
      return 2;
    }
  }
  if (seconds < 1) seconds = 1;
  if (rounds < 1) rounds = 1;

  // The meter's settings stay out of the user's configuration.
  char pattern[] = "/tmp/vexameter-bench-XXXXXX";
  const char* config = mkdtemp(pattern);
  if (!config) return 1;
  setenv("XDG_CONFIG_HOME", config, 1);

  int status;
  {
    std::vector<std::string> options = {"--rate", rate, "--rt-priority", "0"};
    if (!block.empty()) options.insert(options.end(), {"--meter-block", block});
    if (signal == "moving") {
      const int32_t rateHz = atoi(rate.c_str());
      const int32_t blockFrames = block.empty() ? rateHz / 25 : atoi(block.c_str());
      const std::string wav = std::string(config) + "/moving.wav";
      if (rateHz <= 0 || blockFrames <= 0 || !WriteMovingWav(wav, rateHz, blockFrames)) {
        fprintf(stderr, "meter_bench: cannot write %s\n", wav.c_str());
        return 1;
      }
      options.insert(options.end(), {"--signal", "0=wav:" + wav + ":0", "--signal", "1=wav:" + wav + ":1"});
    } else {
      options.push_back("--lively");
    }
    vexa::testing::CardDaemon card(options);
    if (!card.started()) {
      fprintf(stderr, "txvvd: %s\n", card.error().c_str());
      return 1;
    }
    printf("card: %s Hz, %s signal, meter blocks of %s samples\n", rate.c_str(), signal.c_str(),
           block.empty() ? "rate / 25" : block.c_str());
    wxApp::SetInstance(new BenchApp);
    int toolkitArgc = 1;  // the options above are not the toolkit's
    status = wxEntry(toolkitArgc, argv);
  }
  std::error_code ignored;
  std::filesystem::remove_all(config, ignored);
  return status;
}
