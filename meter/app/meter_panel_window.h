// The surface the panel is painted on: a borderless child window covering the frame's client
// area. GTK 3 repaints a top-level window whole on every paint, while a child window receives
// exactly the areas asked for; so the frame draws here, and this window hands its paint and
// mouse events to the frame's handlers.
#pragma once

#include <wx/window.h>

class MeterFrame;

class MeterPanelWindow : public wxWindow {
public:
  MeterPanelWindow(MeterFrame* frame, const wxSize& size);

private:
  void OnPaint(wxPaintEvent& event);
  void OnMouse(wxMouseEvent& event);

  MeterFrame* frame_;

  wxDECLARE_EVENT_TABLE();
};
