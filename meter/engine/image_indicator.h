// Shows one image of a list, chosen by index (the clip lamps: 0 dark, 1 lit).
#pragma once

#include "meter_widget.h"

#include <wx/bitmap.h>
#include <wx/imaglist.h>

class ImageIndicator : public MeterWidget {
public:
  // Takes ownership of the image.
  ImageIndicator(int32_t x, int32_t y, int32_t width, int32_t height, MeterWidgetOwner* owner,
                 wxBitmap* first);
  ~ImageIndicator() override;

  void Draw(wxDC& dc) override;

  // Takes ownership of the image. Does not mark the widget dirty.
  void AddImage(wxBitmap* image);
  int32_t GetIndex() const { return index_; }
  void SetIndex(int32_t index);
  int32_t ImageCount() const { return images_->GetImageCount(); }

private:
  int32_t index_ = 0;
  wxImageList* images_;
};
