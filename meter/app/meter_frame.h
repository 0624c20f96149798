// The meter program's only window: a fixed panel of drawn widgets over a background image,
// the card's device client with its two callbacks, the two channels' ballistics, and every
// command of the panel.
#pragma once

#include "meter_callbacks.h"
#include "meter_widget.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>

#include <stdint.h>

class BitmapButton;
class ChoiceLabel;
class ImageIndicator;
class LLVAVxDDevice;
class MeterPanelWindow;
class MeterBallistics;
class PushButton;
class SegmentMeter;
class TextLabel;
class wxConfigBase;
class wxHtmlHelpController;

class MeterFrame : public MeterWidgetOwner, public MeterCallbackTarget {
public:
  // Opens the card driver (a missing or mismatched driver is reported and the window runs
  // without it); any other AnyError leaves the constructor.
  MeterFrame();
  ~MeterFrame() override;

  // Called by widgets.
  void ShowHelp();
  void ApplyRouting();
  void ApplySampleRate();
  void ToggleSlave();
  void ApplyBallistics();
  void ApplyClipCount();
  void ApplyClipBits();
  void ResetClipDisplay();

  // The arrow buttons beside the choices.
  void RoutingUp();
  void RoutingDown();
  void RateUp();
  void RateDown();
  void BallisticsUp();
  void BallisticsDown();
  void ClipCountUp();
  void ClipCountDown();
  void ClipBitsUp();
  void ClipBitsDown();

  // Device callbacks, run from the application's alertable sleep.
  void OnMeterData(const int32_t* channel1, const int32_t* channel2, int32_t count);
  void OnSampleRateChange(int32_t rate);

  // Display followers.
  void ShowClipRuns();
  void ShowSampleRate();
  void ShowRouting();
  void ShowClipCount();
  void ShowClipBits();
  void ShowSlave();
  void SetBallistics(int32_t mode);

  void AddWidget(MeterWidget* widget);

  // Meter-data calls of this process; the level read-out changes on every 21st.
  static uint32_t meterDataCalls;

  static constexpr int32_t kRouteCount = 5;
  static constexpr int32_t kRateCount = 7;
  static constexpr int32_t kClipBitsCount = 5;
  static const int32_t kRates[kRateCount];
  static const int32_t kClipBitsTable[kClipBitsCount];

  // What painting has done, for tests and the benchmark.
  struct PaintRecord {
    uint32_t paints = 0;
    uint32_t draws = 0;
    uint32_t lastDraws = 0;
    wxRect lastUpdate;
  };
  const PaintRecord& Painted() const { return painted_; }

private:
  friend class MeterFrameProbe;
  friend class MeterPanelWindow;

  void OpenDevice();
  void CreateHelp();
  void LoadSettings();
  void SaveSettings();
  void OnAbout(wxCommandEvent& event);
  // Closes an open help window and releases the help controller and its store.
  void CloseHelp();
  // A new object on the configuration store of this vendor for the application "Vexameter";
  // forWriting makes sure the store has somewhere to be written.
  static wxConfigBase* NewStore(const wxString& vendorName, bool forWriting);
  void OnQuit(wxCommandEvent& event);
  void OnCloseWindow(wxCloseEvent& event);

  void BuildPanel();
  void OnIdle(wxIdleEvent& event);
  void OnPaint(wxPaintEvent& event);
  void OnMouse(wxMouseEvent& event);

  // One channel of OnMeterData.
  void MeterChannel(MeterBallistics* ballistics, const int32_t* samples, int32_t count,
                    SegmentMeter* meter, ImageIndicator* lamp, int32_t& shownClipRun);
  // Selects a rate of the table and sends it.
  void PickRate(int32_t index);
  void ClipCountTo(int32_t count);
  void ShowRateText(int32_t rate, bool slaved);
  // Frees everything the frame owns, in the order of destruction; safe on a partly built frame.
  void Release();

  wxMemoryDC* backgroundDC_ = nullptr;
  wxBitmap* backgroundBitmap_ = nullptr;
  wxMemoryDC* backDC_ = nullptr;
  wxBitmap* backBitmap_ = nullptr;
  LLVAVxDDevice* device_ = nullptr;
  int32_t ballisticsMode_ = 1;
  MeterBallistics* leftBallistics_ = nullptr;
  MeterBallistics* rightBallistics_ = nullptr;
  int32_t clipCount_ = 3;
  int32_t clipMonitorBits_ = 24;
  int32_t leftShownClipRun_ = 0;
  int32_t rightShownClipRun_ = 0;
  int32_t sampleRate_ = 44100;
  wxHtmlHelpController* help_ = nullptr;
  wxConfigBase* helpStore_ = nullptr;
  MeterWidget* widgets_ = nullptr;
  // Owned by the toolkit as the frame's child.
  MeterPanelWindow* panel_ = nullptr;

  ChoiceLabel* routingChoice_ = nullptr;
  ChoiceLabel* rateChoice_ = nullptr;
  PushButton* rateUp_ = nullptr;
  PushButton* rateDown_ = nullptr;
  ChoiceLabel* ballisticsChoice_ = nullptr;
  BitmapButton* slaveSwitch_ = nullptr;
  ChoiceLabel* clipCountChoice_ = nullptr;
  ChoiceLabel* clipBitsChoice_ = nullptr;
  ImageIndicator* leftLamp_ = nullptr;
  ImageIndicator* rightLamp_ = nullptr;
  PushButton* clipReset_ = nullptr;
  SegmentMeter* leftMeter_ = nullptr;
  SegmentMeter* rightMeter_ = nullptr;
  TextLabel* clipReadout_ = nullptr;
  TextLabel* levelReadout_ = nullptr;

  PaintRecord painted_;

  wxDECLARE_EVENT_TABLE();
};
