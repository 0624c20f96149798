#include "meter_panel_window.h"

#include "meter_frame.h"

wxBEGIN_EVENT_TABLE(MeterPanelWindow, wxWindow)
  EVT_PAINT(MeterPanelWindow::OnPaint)
  EVT_MOUSE_EVENTS(MeterPanelWindow::OnMouse)
wxEND_EVENT_TABLE()

MeterPanelWindow::MeterPanelWindow(MeterFrame* frame, const wxSize& size)
    : wxWindow(frame, wxID_ANY, wxPoint(0, 0), size, wxBORDER_NONE), frame_(frame) {
  // Every pixel comes from the back buffer; erasing first would only flicker.
  SetBackgroundStyle(wxBG_STYLE_PAINT);
}

void MeterPanelWindow::OnPaint(wxPaintEvent& event) { frame_->OnPaint(event); }

void MeterPanelWindow::OnMouse(wxMouseEvent& event) { frame_->OnMouse(event); }
