// A push button that shows one image while up and another while down.
#pragma once

#include "push_button.h"

#include <wx/bitmap.h>

class BitmapButton : public PushButton {
public:
  // Takes ownership of both images; either may be null (nothing is drawn in that state).
  BitmapButton(int32_t x, int32_t y, int32_t width, int32_t height, MeterWidgetOwner* owner,
               WidgetCallback callback, int32_t toggles, wxBitmap* up, wxBitmap* down);
  ~BitmapButton() override;

  void Draw(wxDC& dc) override;

private:
  wxBitmap* up_;
  wxBitmap* down_;
};
