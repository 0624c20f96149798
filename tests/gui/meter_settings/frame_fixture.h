// A meter window built in-process against a card that remembers its routing, slaving and rate,
// with the window's store as a plain file in this process's private configuration folder.
#pragma once

#include "bitmap_button.h"
#include "choice_label.h"
#include "meter_ballistics.h"
#include "meter_frame.h"
#include "meter_message.h"
#include "meter_records.h"
#include "push_button.h"

#include <gtest/gtest.h>
#include <vexa/device_backend.h>
#include <wx/app.h>
#include <wx/html/helpctrl.h>
#include <wx/html/helpfrm.h>
#include <wx/toplevel.h>

#include <stdlib.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern bool toolkitStarted;

// The application object of the tests; deferred deletions run when a test says so.
class TestApp : public wxApp {
public:
  void DeletePending() { DeletePendingObjects(); }
};

// The card as far as the meter window can tell: it keeps what it is told.
class TestCard : public vexa::platform::DeviceBackend {
public:
  struct Sent {
    DWORD code;
    LONG word;  // the first input word, 0 when there is none
  };

  TestCard() { vexa::platform::setDeviceBackend(this); }
  ~TestCard() override { vexa::platform::setDeviceBackend(nullptr); }

  bool available = true;
  LONG route = 0;
  LONG slave = 0;
  LONG rate = 44100;
  std::set<DWORD> refused;
  std::vector<Sent> sent;

  std::vector<LONG> SentWords(DWORD code) const {
    std::vector<LONG> words;
    for (const Sent& s : sent)
      if (s.code == code) words.push_back(s.word);
    return words;
  }

  std::unique_ptr<vexa::platform::DeviceConnection> open() override {
    if (!available) return nullptr;
    return std::make_unique<Connection>(*this);
  }

private:
  class Connection : public vexa::platform::DeviceConnection {
  public:
    explicit Connection(TestCard& card) : card_(card) {}
    bool control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned) override {
      LONG word = 0;
      if (in && inSize >= 4) memcpy(&word, in, 4);
      card_.sent.push_back({code, word});
      if (returned) *returned = 0;
      if (card_.refused.count(code)) return false;
      switch (code) {
        case IOCTL_LLVA_GET_VERSION: return Answer(0, out, outSize, returned);
        case IOCTL_LLVA_GET_INFO: {
          DeviceInfoRecord info{};
          info.supported = 1;
          info.sampleRate = static_cast<DWORD>(card_.rate);
          if (outSize < sizeof info) return false;
          memcpy(out, &info, sizeof info);
          if (returned) *returned = sizeof info;
          return true;
        }
        case IOCTL_LLVA_SET_ROUTE: card_.route = word; return true;
        case IOCTL_LLVA_GET_ROUTE: return Answer(card_.route, out, outSize, returned);
        case IOCTL_LLVA_ENGAGE_SLAVE: card_.slave = 1; return true;
        case IOCTL_LLVA_DISABLE_SLAVE: card_.slave = 0; return true;
        case IOCTL_LLVA_GET_SLAVE_STATUS: return Answer(card_.slave, out, outSize, returned);
        case IOCTL_LLVA_SET_SAMPLE_RATE: card_.rate = word; return true;
        default: return true;
      }
    }
    void close() override {}

  private:
    static bool Answer(LONG value, void* out, DWORD outSize, DWORD* returned) {
      if (!out || outSize < 4) return false;
      memcpy(out, &value, 4);
      if (returned) *returned = 4;
      return true;
    }
    TestCard& card_;
  };
};

// The frame's private state, read the way a user would see it.
class MeterFrameProbe {
public:
  explicit MeterFrameProbe(MeterFrame* frame) : frame_(frame) {}
  int32_t ClipCount() const { return frame_->clipCount_; }
  int32_t ClipBits() const { return frame_->clipMonitorBits_; }
  int32_t BallisticsMode() const { return frame_->ballisticsMode_; }
  ChoiceLabel* ClipCountChoice() const { return frame_->clipCountChoice_; }
  ChoiceLabel* ClipBitsChoice() const { return frame_->clipBitsChoice_; }
  ChoiceLabel* BallisticsChoice() const { return frame_->ballisticsChoice_; }
  ChoiceLabel* RoutingChoice() const { return frame_->routingChoice_; }
  BitmapButton* SlaveSwitch() const { return frame_->slaveSwitch_; }
  int32_t LeftClipBits() const { return frame_->leftBallistics_->ClipBits(); }
  wxHtmlHelpController* Help() const { return frame_->help_; }

private:
  MeterFrame* frame_;
};

class MeterFrameTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!toolkitStarted) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    std::error_code ignored;
    std::filesystem::remove_all(StoreFolder("Tarvenix"), ignored);
    std::filesystem::remove_all(StoreFolder("wxHtmlHelp"), ignored);
    messages.clear();
    SetMeterMessageHandler(&MeterFrameTest::Record);
  }

  void TearDown() override {
    if (frame) Close(frame);
    SetMeterMessageHandler(nullptr);
  }

  static std::string StoreFolder(const char* vendor) {
    return std::string(getenv("XDG_CONFIG_HOME")) + "/" + vendor;
  }
  static std::string StorePath(const char* vendor = "Tarvenix") {
    return StoreFolder(vendor) + "/Vexameter.conf";
  }

  static void WriteStore(const std::string& text) {
    std::filesystem::create_directories(StoreFolder("Tarvenix"));
    std::ofstream(StorePath()) << text;
  }

  static std::string StoreText(const char* vendor = "Tarvenix") {
    std::ifstream file(StorePath(vendor));
    if (!file) return "<absent>";
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  // The key=value lines of the store, as written.
  static std::map<std::string, std::string> StoreValues(const char* vendor = "Tarvenix") {
    std::map<std::string, std::string> values;
    std::istringstream lines(StoreText(vendor));
    for (std::string line; std::getline(lines, line);) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
  }

  MeterFrame* Open() {
    frame = new MeterFrame;
    return frame;
  }

  // As the toolkit closes a window: its destruction waits for the next idle pass.
  void Close(MeterFrame*& which) {
    which->Close(true);
    which = nullptr;
    Settle();
  }

  // Runs what the toolkit would run between events: pending events and deferred deletions.
  static void Settle() {
    for (int pass = 0; pass < 3; ++pass) {
      wxTheApp->ProcessPendingEvents();
      static_cast<TestApp*>(wxTheApp)->DeletePending();
    }
  }

  // A left click at a point of the panel, delivered to the window under it (the frame, or
  // a child window that covers its client area).
  static void Click(MeterFrame* target, int x, int y) {
    wxWindow* receiver = target;
    for (wxWindow* child : target->GetChildren())
      if (child->GetRect().Contains(x, y)) receiver = child;
    const wxPoint at = receiver == target ? wxPoint(x, y) : wxPoint(x, y) - receiver->GetPosition();
    wxMouseEvent press(wxEVT_LEFT_DOWN);
    press.m_x = at.x;
    press.m_y = at.y;
    press.SetEventObject(receiver);
    receiver->GetEventHandler()->ProcessEvent(press);
  }

  static std::vector<wxHtmlHelpFrame*> HelpWindows() {
    std::vector<wxHtmlHelpFrame*> windows;
    for (wxWindow* window : wxTopLevelWindows)
      if (auto* help = dynamic_cast<wxHtmlHelpFrame*>(window)) windows.push_back(help);
    return windows;
  }

  static void Record(const wxString& text) { messages.push_back(text.ToStdString()); }

  TestCard card;
  MeterFrame* frame = nullptr;
  static inline std::vector<std::string> messages;
};
