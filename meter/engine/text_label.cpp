#include "text_label.h"

TextLabel::TextLabel(int32_t x, int32_t y, int32_t width, int32_t height,
                     MeterWidgetOwner* owner, int32_t alignment)
    : MeterWidget(x, y, width, height, owner), alignment_(alignment) {}

void TextLabel::SetText(const wxString& text) {
  text_ = text;
  MarkDirty();
}

int32_t TextLabel::TextLeft(int32_t textWidth) const {
  if (alignment_ == kCentred) {
    if (textWidth > width) return x;
    return x + width / 2 - textWidth / 2;
  }
  if (alignment_ == kRight) {
    // Flush right, but a text wider than the field still shows its start.
    return textWidth > width ? x : x + width - textWidth;
  }
  return x;
}

bool TextLabel::ChangesClipping() const { return true; }

void TextLabel::Draw(wxDC& dc) {
  dc.SetClippingRegion(x, y, width, height);
  dc.SetBackgroundMode(wxTRANSPARENT);
  dc.SetTextForeground(*wxBLACK);
  wxCoord textWidth = 0, textHeight = 0;
  dc.GetTextExtent(text_, &textWidth, &textHeight);
  dc.DrawText(text_, TextLeft(textWidth), y);
}
