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
      unlitDC_(new wxMemoryDC),
      segments_(new Segment[this->segmentCount > 0 ? this->segmentCount : 1]) {
  for (int32_t i = 0; i < this->segmentCount; ++i)
    segments_[i] = {thresholds[i], i * segmentHeight, segmentHeight};
  if (lit_ && lit_->IsOk()) litDC_->SelectObject(*lit_);
  if (unlit_ && unlit_->IsOk()) unlitDC_->SelectObject(*unlit_);
}

SegmentMeter::~SegmentMeter() {
  litDC_->SelectObject(wxNullBitmap);
  delete litDC_;
  unlitDC_->SelectObject(wxNullBitmap);
  delete unlitDC_;
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
  if (unlitDC_->IsOk())
    dc.Blit(x, y, unlit_->GetWidth(), unlit_->GetHeight(), unlitDC_, 0, 0, wxCOPY, false);
  if (!litDC_->IsOk()) return;
  const int32_t bar = FirstLitSegment(level);
  if (bar >= 0) {
    const int32_t top = segments_[bar].top;
    dc.Blit(x, y + top, width, height - top, litDC_, 0, top, wxCOPY, false);
  }
  const int32_t held = FirstLitSegment(peak);
  // A peak segment within the bar is lit already.
  if (held >= 0 && (bar < 0 || held < bar)) {
    const int32_t top = segments_[held].top;
    dc.Blit(x, y + top, width, segmentHeight, litDC_, 0, top, wxCOPY, false);
  }
}
