// A level bar of equal segments lit from the bottom up to the level, plus one lit segment for
// the peak. Both values are in dB; the meter-data handler writes them and marks the meter dirty.
#pragma once

#include "meter_widget.h"

#include <wx/bitmap.h>
#include <wx/dcmemory.h>

class SegmentMeter : public MeterWidget {
public:
  // `thresholds` holds `segmentCount` levels in dB, from the top segment down. Takes ownership
  // of both images.
  SegmentMeter(int32_t x, int32_t y, int32_t width, int32_t height, MeterWidgetOwner* owner,
               int32_t segmentCount, const double* thresholds, wxBitmap* unlit, wxBitmap* lit);
  ~SegmentMeter() override;

  void Draw(wxDC& dc) override;

  // The first segment from the top whose threshold is at or below `db`; -1 when none is.
  int32_t FirstLitSegment(double db) const;

  struct Segment {
    double threshold;
    int32_t top;
    int32_t height;
  };

  double level = -30.0;
  double peak = -500.0;
  const int32_t segmentHeight;
  const int32_t segmentCount;

  const Segment& SegmentAt(int32_t i) const { return segments_[i]; }

private:
  wxBitmap* unlit_;
  wxBitmap* lit_;
  wxMemoryDC* litDC_;
  // The unlit image is copied from a device context as well: drawing a bitmap converts it
  // for the toolkit on every call, a copy from a context does not.
  wxMemoryDC* unlitDC_;
  Segment* segments_;
};
