// The toolkit for widget tests (it needs a display: these run under Xvfb), an owner window
// that counts its callbacks, and pixel helpers for what a widget drew.
#pragma once

#include "meter_widget.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/image.h>

class ToolkitEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    static char name[] = "meter_widgets_test";
    static char* argv[] = {name, nullptr};
    int argc = 1;
    wxApp::SetInstance(new wxApp);
    ASSERT_TRUE(wxEntryStart(argc, argv)) << "no display for the toolkit";
    wxTheApp->CallOnInit();
  }
  void TearDown() override { wxEntryCleanup(); }
};

class CountingOwner : public MeterWidgetOwner {
public:
  CountingOwner() : MeterWidgetOwner(nullptr, wxID_ANY, "widgets") {}
  void Fired() { ++calls; }
  int calls = 0;
};

inline WidgetCallback Fire() { return static_cast<WidgetCallback>(&CountingOwner::Fired); }

// A bitmap of one colour that the caller owns.
inline wxBitmap* Solid(int width, int height, const wxColour& colour) {
  wxBitmap* bitmap = new wxBitmap(width, height, 24);
  wxMemoryDC dc(*bitmap);
  dc.SetBackground(wxBrush(colour));
  dc.Clear();
  dc.SelectObject(wxNullBitmap);
  return bitmap;
}

// A canvas to draw widgets into, read back as an image.
class Canvas {
public:
  Canvas(int width, int height, const wxColour& colour = *wxBLUE)
      : bitmap_(width, height, 24), dc_(bitmap_) {
    dc_.SetBackground(wxBrush(colour));
    dc_.Clear();
  }
  wxDC& dc() { return dc_; }
  wxImage Image() {
    dc_.SelectObject(wxNullBitmap);
    wxImage image = bitmap_.ConvertToImage();
    dc_.SelectObject(bitmap_);
    return image;
  }

private:
  wxBitmap bitmap_;
  wxMemoryDC dc_;
};

inline bool IsColour(const wxImage& image, int x, int y, const wxColour& colour) {
  return image.GetRed(x, y) == colour.Red() && image.GetGreen(x, y) == colour.Green() &&
         image.GetBlue(x, y) == colour.Blue();
}

inline wxMouseEvent Mouse(wxEventType type, int x, int y) {
  wxMouseEvent event(type);
  event.SetPosition(wxPoint(x, y));
  return event;
}
