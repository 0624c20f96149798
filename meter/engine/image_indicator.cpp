#include "image_indicator.h"

ImageIndicator::ImageIndicator(int32_t x, int32_t y, int32_t width, int32_t height,
                               MeterWidgetOwner* owner, wxBitmap* first)
    : MeterWidget(x, y, width, height, owner), images_(new wxImageList(width, height, false, 1)) {
  AddImage(first);
}

ImageIndicator::~ImageIndicator() { delete images_; }

void ImageIndicator::AddImage(wxBitmap* image) {
  // The list keeps its own copy.
  if (image && image->IsOk()) images_->Add(*image);
  delete image;
}

void ImageIndicator::SetIndex(int32_t index) {
  index_ = index;
  MarkDirty();
}

void ImageIndicator::Draw(wxDC& dc) {
  // An index without an image draws nothing rather than reading outside the list.
  if (index_ < 0 || index_ >= images_->GetImageCount()) return;
  images_->Draw(index_, dc, x, y, wxIMAGELIST_DRAW_NORMAL);
}
