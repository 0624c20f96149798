// The drawn controls of the meter window. A widget is a plain object with a rectangle in the
// window's client coordinates, not a toolkit window: the window keeps its widgets in one list,
// paints them into its back buffer, turns their dirty flags into repaints when idle and hands
// them its mouse events. Value changes only mark a widget dirty; nothing draws at once.
#pragma once

#include <wx/dc.h>
#include <wx/event.h>
#include <wx/frame.h>

#include <stdint.h>

// The window that owns the widgets; the meter frame derives from it. Widgets pop their menus up
// on it and call its members back.
class MeterWidgetOwner : public wxFrame {
public:
  using wxFrame::wxFrame;
};

// A member of the owner that a widget calls, without arguments.
typedef void (MeterWidgetOwner::*WidgetCallback)();

class MeterWidget {
public:
  MeterWidget(int32_t x, int32_t y, int32_t width, int32_t height, MeterWidgetOwner* owner);
  virtual ~MeterWidget();
  MeterWidget(const MeterWidget&) = delete;
  MeterWidget& operator=(const MeterWidget&) = delete;

  virtual void Draw(wxDC& dc) = 0;
  // True when the widget consumed the event.
  virtual bool HandleMouse(wxMouseEvent& event);
  // True when Draw narrows the device context's clipping; the window then clips the back
  // buffer to the update area again before the next widget, and only then, as that is one of
  // the dearer steps of a paint.
  virtual bool ChangesClipping() const;

  void MarkDirty() { dirty = 1; }

  wxRect Rect() const { return wxRect(x, y, width, height); }
  // Left and top edges inclusive, right and bottom exclusive.
  bool Contains(int32_t px, int32_t py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }

  int32_t x, y, width, height;
  MeterWidget* next = nullptr;
  MeterWidgetOwner* owner;
  int32_t dirty = 0;

protected:
  void CallBack(WidgetCallback callback);
};
