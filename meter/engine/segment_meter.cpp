#include "segment_meter.h"

SegmentMeter::SegmentMeter(int32_t x, int32_t y, int32_t width, int32_t height,
                           MeterWidgetOwner* owner, int32_t segmentCount,
                           const double* thresholds, wxBitmap* unlit, wxBitmap* lit)
    : MeterWidget(x, y, width, height, owner),
      segmentHeight(segmentCount > 0 ? height / segmentCount : 0),
      segmentCount(segmentCount > 0 ? segmentCount : 0),
      unlit_(unlit),
      lit_(lit),
      litDC_(new wxMemoryDC),
      segments_(new Segment[this->segmentCount > 0 ? this->segmentCount : 1]) {
  for (int32_t i = 0; i < this->segmentCount; ++i)
    segments_[i] = {thresholds[i], i * segmentHeight, segmentHeight};
  if (lit_ && lit_->IsOk()) litDC_->SelectObject(*lit_);
}

SegmentMeter::~SegmentMeter() {
  litDC_->SelectObject(wxNullBitmap);
  delete litDC_;
  delete[] segments_;
  delete unlit_;
  delete lit_;
}

int32_t SegmentMeter::FirstLitSegment(double db) const {
  for (int32_t i = 0; i < segmentCount; ++i)
    if (segments_[i].threshold <= db) return i;
  return -1;
}

void SegmentMeter::Draw(wxDC& dc) {
  if (unlit_ && unlit_->IsOk()) dc.DrawBitmap(*unlit_, x, y, false);
  if (!litDC_->IsOk()) return;
  const int32_t bar = FirstLitSegment(level);
  if (bar >= 0) {
    const int32_t top = segments_[bar].top;
    dc.Blit(x, y + top, width, height - top, litDC_, 0, top, wxCOPY, false);
  }
  const int32_t held = FirstLitSegment(peak);
  if (held >= 0) {
    const int32_t top = segments_[held].top;
    dc.Blit(x, y + top, width, segmentHeight, litDC_, 0, top, wxCOPY, false);
  }
}
