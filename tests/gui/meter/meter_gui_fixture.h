// The meter window against the in-process card double, under Xvfb: the toolkit with the
// program's own application object, captured messages, and a view of the frame's widgets.
#pragma once

#include "bitmap_button.h"
#include "choice_label.h"
#include "image_indicator.h"
#include "llva_vxd_device.h"
#include "meter_app.h"
#include "meter_ballistics.h"
#include "meter_frame.h"
#include "meter_message.h"
#include "meter_records.h"
#include "push_button.h"
#include "segment_meter.h"
#include "text_label.h"

#include <device_double.h>
#include <gtest/gtest.h>
#include <wx/app.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

// A configuration folder of the test's own, so that no stored setting of the user's or of an
// earlier test reaches the window.
class PrivateSettings {
public:
  PrivateSettings() {
    char pattern[] = "/tmp/vexameter-test-XXXXXX";
    folder_ = mkdtemp(pattern);
    setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
    setenv("HOME", folder_.c_str(), 1);
  }
  ~PrivateSettings() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  PrivateSettings(const PrivateSettings&) = delete;
  PrivateSettings& operator=(const PrivateSettings&) = delete;

private:
  std::string folder_;
};

class ToolkitEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    static char name[] = "meter_gui_test";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    wxApp::SetInstance(new MeterApp);
    ASSERT_TRUE(wxEntryStart(argc, argv)) << "no display for the toolkit";
    RegisterMeterImageHandlers();
  }
  void TearDown() override { wxEntryCleanup(); }
};

// The frame's widget fields, for tests only.
class MeterFrameProbe {
public:
  explicit MeterFrameProbe(MeterFrame& frame) : f(frame) {}
  ChoiceLabel& Routing() { return *f.routingChoice_; }
  ChoiceLabel& Rate() { return *f.rateChoice_; }
  PushButton& RateUpButton() { return *f.rateUp_; }
  PushButton& RateDownButton() { return *f.rateDown_; }
  ChoiceLabel& Ballistics() { return *f.ballisticsChoice_; }
  BitmapButton& Slave() { return *f.slaveSwitch_; }
  ChoiceLabel& ClipCountChoice() { return *f.clipCountChoice_; }
  ChoiceLabel& ClipBits() { return *f.clipBitsChoice_; }
  ImageIndicator& LeftLamp() { return *f.leftLamp_; }
  ImageIndicator& RightLamp() { return *f.rightLamp_; }
  SegmentMeter& LeftMeter() { return *f.leftMeter_; }
  SegmentMeter& RightMeter() { return *f.rightMeter_; }
  TextLabel& ClipReadout() { return *f.clipReadout_; }
  TextLabel& LevelReadout() { return *f.levelReadout_; }
  LLVAVxDDevice* Device() { return f.device_; }
  MeterBallistics& LeftBallistics() { return *f.leftBallistics_; }
  MeterBallistics& RightBallistics() { return *f.rightBallistics_; }
  int32_t ClipCount() { return f.clipCount_; }
  int32_t ClipMonitorBits() { return f.clipMonitorBits_; }
  int32_t BallisticsMode() { return f.ballisticsMode_; }
  MeterWidget* FirstWidget() { return f.widgets_; }
  wxWindow* Panel() { return reinterpret_cast<wxWindow*>(f.panel_); }

private:
  MeterFrame& f;
};

inline std::vector<std::string>& Messages() {
  static std::vector<std::string> messages;
  return messages;
}

inline void CaptureMessage(const wxString& text) { Messages().push_back(text.ToStdString()); }

class MeterFrameTest : public ::testing::Test {
protected:
  MeterFrameTest() {
    Messages().clear();
    SetMeterMessageHandler(&CaptureMessage);
    AcceptCard(48000);
    Route(0);
    Slaved(0);
  }
  ~MeterFrameTest() override {
    frame.reset();
    SetMeterMessageHandler(nullptr);
  }

  void AcceptCard(DWORD rate) {
    card.reply(IOCTL_LLVA_GET_VERSION, {true, 4, {0}, {}});
    card.reply(IOCTL_LLVA_GET_INFO, {true, 48, {0, 1, 0, 0, 0, 0, rate}, {}});
  }
  void Route(DWORD mode) { card.reply(IOCTL_LLVA_GET_ROUTE, {true, 4, {mode}, {}}); }
  void Slaved(DWORD status) { card.reply(IOCTL_LLVA_GET_SLAVE_STATUS, {true, 4, {status}, {}}); }

  // As the program's first idle pass would, lets the started client come to the front of the
  // thread's queue, from where the card's notifications reach it.
  MeterFrame& Open() {
    frame.reset(new MeterFrame);
    probe.reset(new MeterFrameProbe(*frame));
    SleepEx(0, TRUE);
    return *frame;
  }

  // The input words of the requests with this code, in the order sent.
  std::vector<uint32_t> Sent(DWORD code) const {
    std::vector<uint32_t> words;
    for (const auto& request : card.requests())
      if (request.code == code) words.push_back(request.input.size() >= 4 ? request.inputWord(0) : 0);
    return words;
  }

  // The card driver's rate notification, as its APC delivers it.
  void CardRate(DWORD rate) {
    MeterNotification record{kSampleRateChange, rate, 0, 0,
                             static_cast<DWORD>(reinterpret_cast<uintptr_t>(probe->Device()))};
    LLVAVxDDevice::NotificationRoutine(reinterpret_cast<ULONG_PTR>(&record));
  }

  void Click(int x, int y, wxEventType type = wxEVT_LEFT_DOWN) {
    wxMouseEvent event(type);
    event.SetPosition(wxPoint(x, y));
    event.SetEventObject(probe->Panel());
    probe->Panel()->ProcessWindowEvent(event);
  }

  struct FrameDeleter {
    void operator()(MeterFrame* f) const { delete f; }
  };

  PrivateSettings settings;
  vexa::testing::DeviceDouble card;
  std::unique_ptr<MeterFrame, FrameDeleter> frame;
  std::unique_ptr<MeterFrameProbe> probe;
};
