#include "meter_app.h"

#include "meter_errors.h"
#include "meter_frame.h"
#include "meter_message.h"

#include <wx/event.h>
#include <wx/image.h>
#include <wx/imaggif.h>
#include <wx/xpmhand.h>

#include <windows.h>

wxBEGIN_EVENT_TABLE(MeterApp, wxApp)
  EVT_IDLE(MeterApp::OnIdle)
wxEND_EVENT_TABLE()

void RegisterMeterImageHandlers() {
  // The GTK port reads XPM data into bitmaps by itself; XPM files and the help pages' GIF
  // images go through image handlers.
  if (!wxImage::FindHandler(wxBITMAP_TYPE_XPM)) wxImage::AddHandler(new wxXPMHandler);
  if (!wxImage::FindHandler(wxBITMAP_TYPE_GIF)) wxImage::AddHandler(new wxGIFHandler);
}

bool MeterApp::OnInit() {
  MeterFrame* frame = nullptr;
  // Only the frame turns idle time into repaints, and no window updates its controls from
  // idle time: the toolkit need not offer every window both events on every pass.
  wxIdleEvent::SetMode(wxIDLE_PROCESS_SPECIFIED);
  wxUpdateUIEvent::SetMode(wxUPDATE_UI_PROCESS_SPECIFIED);
  try {
    RegisterMeterImageHandlers();
    frame = new MeterFrame;
    frame->Show(true);
    SetTopWindow(frame);
  } catch (const AnyError& error) {
    if (frame) frame->Destroy();
    ShowMeterMessage(wxString("Vexa-o-meter") + ": " + error.Message() + ", exiting!");
    return false;
  }
  return true;
}

void MeterApp::OnIdle(wxIdleEvent&) {
  // wxWidgets 3 runs its own idle work (pending deletions, the windows' idle handlers) around
  // this handler; the frame's idle handler turns what changed during this sleep into repaints.
  if (!GetTopWindow() && wxTopLevelWindows.empty()) return;
  SleepEx(kIdleSleepMs, TRUE);
}
