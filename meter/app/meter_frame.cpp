#include "meter_frame.h"

#include "choice_label.h"
#include "llva_vxd_device.h"
#include "meter_ballistics.h"
#include "meter_errors.h"
#include "meter_images.h"
#include "meter_message.h"
#include "meter_panel_window.h"

#include <wx/font.h>

wxBEGIN_EVENT_TABLE(MeterFrame, wxFrame)
  EVT_IDLE(MeterFrame::OnIdle)
  EVT_MENU(1, MeterFrame::OnQuit)
  EVT_MENU(2, MeterFrame::OnAbout)
  EVT_CLOSE(MeterFrame::OnCloseWindow)
wxEND_EVENT_TABLE()

namespace {

// Caption and system menu only: no resize border, no minimise or maximise box. GTK shows the
// caption's close box only when asked for it.
const long kFrameStyle = wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX;

}  // namespace

MeterFrame::MeterFrame()
    : MeterWidgetOwner(nullptr, wxID_ANY, "Vexa-o-meter", wxPoint(10, 10), wxSize(400, 200),
                       kFrameStyle, "Vexameter") {
  try {
    backgroundDC_ = new wxMemoryDC;
    backDC_ = new wxMemoryDC;
    leftBallistics_ = MakeBallistics(ballisticsMode_).release();
    rightBallistics_ = MakeBallistics(ballisticsMode_).release();

    SetIcons(MeterIcons());

    backgroundBitmap_ = NewMeterImage(MeterImage::Background);
    backgroundDC_->SelectObject(*backgroundBitmap_);
    backBitmap_ = NewMeterImage(MeterImage::Background);
    backDC_->SelectObject(*backBitmap_);

    const wxSize panel(backgroundBitmap_->GetWidth(), backgroundBitmap_->GetHeight());
    SetClientSize(panel);
    // The panel is fixed: the window cannot be resized.
    const wxSize outer = GetSize();
    SetMinSize(outer);
    SetMaxSize(outer);
    // Paint and mouse events arrive through the panel window (see meter_panel_window.h).
    panel_ = new MeterPanelWindow(this, panel);
    // GTK draws the frame under the panel on every paint; the panel covers all of it, so the
    // frame's own background (a style lookup and a device context per paint) is never seen.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    // Its idle handler runs whatever idle events the application asks for.
    SetExtraStyle(GetExtraStyle() | wxWS_EX_PROCESS_IDLE);

    BuildPanel();

    SetFont(wxFont(8, wxFONTFAMILY_MODERN, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_NORMAL, false));
    // The widgets draw their texts into the back buffer in the window's font.
    backDC_->SetFont(GetFont());

    OpenDevice();
    CreateHelp();
    LoadSettings();

    leftBallistics_->SetClipBits(clipMonitorBits_);
    rightBallistics_->SetClipBits(clipMonitorBits_);

    ShowClipRuns();
    ShowSampleRate();
    ShowRouting();
    ShowClipCount();
    ShowClipBits();
    // The switch shows whether the card is slaved from the start, not only after a stored
    // setting was applied. Only the followers above end start-up when the card refuses to
    // answer; a switch that cannot learn the card's state stays as it is.
    try {
      ShowSlave();
    } catch (const NonfatalError&) {
    }
    // The choice starts at its first item while the frame starts in mode 1; show the mode
    // in force.
    ballisticsChoice_->SetIndex(ballisticsMode_ == 1 ? 1 : 0);
  } catch (...) {
    Release();
    throw;
  }
}

void MeterFrame::OpenDevice() {
  try {
    device_ = new LLVAVxDDevice(this, static_cast<MeterDataCallback>(&MeterFrame::OnMeterData),
                                44100);
    device_->SetSampleRateCallback(
        this, static_cast<SampleRateCallback>(&MeterFrame::OnSampleRateChange));
    device_->Start();
  } catch (const LLVAVersionMismatchError&) {
    delete device_;
    device_ = nullptr;
    ShowMeterMessage("Vexa-o-meter: wrong driver version!");
  } catch (const LLVANotInstalledError&) {
    delete device_;
    device_ = nullptr;
    ShowMeterMessage("Vexa-o-meter: drivers are disabled, missing, or in use!");
  }
}

MeterFrame::~MeterFrame() {
  SaveSettings();
  Release();
}

void MeterFrame::Release() {
  CloseHelp();
  delete device_;
  device_ = nullptr;
  delete leftBallistics_;
  leftBallistics_ = nullptr;
  delete rightBallistics_;
  rightBallistics_ = nullptr;
  while (widgets_) {
    MeterWidget* next = widgets_->next;
    delete widgets_;
    widgets_ = next;
  }
  if (backgroundDC_) backgroundDC_->SelectObject(wxNullBitmap);
  delete backgroundDC_;
  backgroundDC_ = nullptr;
  delete backgroundBitmap_;
  backgroundBitmap_ = nullptr;
  if (backDC_) backDC_->SelectObject(wxNullBitmap);
  delete backDC_;
  backDC_ = nullptr;
  delete backBitmap_;
  backBitmap_ = nullptr;
}

void MeterFrame::OnQuit(wxCommandEvent&) { Close(true); }

void MeterFrame::OnCloseWindow(wxCloseEvent&) { Destroy(); }
