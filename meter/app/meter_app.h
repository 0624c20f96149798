// The meter program's application object: registers the image handlers, creates the one
// window, reports what stops start-up, and paces the main loop with the alertable sleep in
// which the card driver's notifications run.
#pragma once

#include <wx/app.h>

class MeterApp : public wxApp {
public:
  bool OnInit() override;

  // The longest alertable wait at the end of an idle pass.
  static constexpr unsigned kIdleSleepMs = 80;

private:
  void OnIdle(wxIdleEvent& event);

  wxDECLARE_EVENT_TABLE();
};

// What OnInit registers; also used by tests that build the window without the application.
void RegisterMeterImageHandlers();
