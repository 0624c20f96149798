// A line of text at the top of its rectangle, centred or from the left edge.
#pragma once

#include "meter_widget.h"

#include <wx/string.h>

class TextLabel : public MeterWidget {
public:
  // wxALIGN_CENTRE_HORIZONTAL | wxALIGN_CENTRE_VERTICAL: the text is centred horizontally.
  static constexpr int32_t kCentred = 2304;
  static constexpr int32_t kRight = 512;

  TextLabel(int32_t x, int32_t y, int32_t width, int32_t height, MeterWidgetOwner* owner,
            int32_t alignment);

  void Draw(wxDC& dc) override;
  bool ChangesClipping() const override;

  void SetText(const wxString& text);
  const wxString& GetText() const { return text_; }

  // Where the text of this width starts.
  int32_t TextLeft(int32_t textWidth) const;

private:
  wxString text_;
  int32_t alignment_;
};
