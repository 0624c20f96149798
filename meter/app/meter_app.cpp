#include "meter_app.h"

#include "meter_errors.h"
#include "meter_frame.h"
#include "meter_message.h"

#include <wx/event.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/imaggif.h>
#include <wx/xpmhand.h>

#include <windows.h>

#ifdef __WXGTK__
#include <glib.h>
#endif

wxBEGIN_EVENT_TABLE(MeterApp, wxApp)
  EVT_IDLE(MeterApp::OnIdle)
wxEND_EVENT_TABLE()

namespace {

// Popup menus, message boxes and modal dialogs (the window's own and the help window's) run
// loops of their own inside an event handler, and the toolkit's idle passes go on in them.
// Meter data taken there would move the meters under the menu or box; it waits in the
// thread's queue instead until the loop has ended.
bool InsideModalLoop() {
#ifdef __WXGTK__
  // Each of them is a GLib loop of its own run from within the main loop's dispatch.
  if (g_main_depth() > 1) return true;
#endif
  const wxEventLoopBase* active = wxEventLoopBase::GetActive();
  return active != nullptr && !active->IsMain();
}

}  // namespace

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
  if (InsideModalLoop()) return;
  SleepEx(kIdleSleepMs, TRUE);
}
