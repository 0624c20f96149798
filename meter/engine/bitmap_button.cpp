#include "bitmap_button.h"

BitmapButton::BitmapButton(int32_t x, int32_t y, int32_t width, int32_t height,
                           MeterWidgetOwner* owner, WidgetCallback callback, int32_t toggles,
                           wxBitmap* up, wxBitmap* down)
    : PushButton(x, y, width, height, owner, callback, toggles), up_(up), down_(down) {}

BitmapButton::~BitmapButton() {
  delete up_;
  delete down_;
}

void BitmapButton::Draw(wxDC& dc) {
  wxBitmap* image = GetState() == kDown ? down_ : up_;
  if (image && image->IsOk()) dc.DrawBitmap(*image, x, y, false);
}
