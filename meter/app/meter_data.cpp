// Meter data from the card driver becomes levels, peaks, clip lamps and read-outs.
#include "meter_frame.h"

#include "image_indicator.h"
#include "llva_vxd_device.h"
#include "meter_ballistics.h"
#include "segment_meter.h"
#include "text_label.h"

#include <math.h>

#include <wx/string.h>

uint32_t MeterFrame::meterDataCalls = 0;

void MeterFrame::MeterChannel(MeterBallistics* ballistics, const int32_t* samples, int32_t count,
                              SegmentMeter* meter, ImageIndicator* lamp,
                              int32_t& shownClipRun) {
  ballistics->Process(samples, count, device_->GetSampleRate());
  const double level = ballistics->LevelDb();
  meter->level = level > 0.0 ? 0.0 : level;
  meter->MarkDirty();
  const double peak = ballistics->PeakDb();
  meter->peak = peak > 0.0 ? 0.0 : peak;
  meter->MarkDirty();
  const int32_t run = ballistics->LongestClipRun();
  if (run > shownClipRun) {
    shownClipRun = run;
    ShowClipRuns();
    if (run >= clipCount_) lamp->SetIndex(1);
  }
}

void MeterFrame::OnMeterData(const int32_t* channel1, const int32_t* channel2, int32_t count) {
  if (!device_ || device_->GetSampleRate() == 0) return;
  MeterChannel(leftBallistics_, channel1, count, leftMeter_, leftLamp_, leftShownClipRun_);
  MeterChannel(rightBallistics_, channel2, count, rightMeter_, rightLamp_, rightShownClipRun_);
  ++meterDataCalls;
  if (meterDataCalls % 21 == 0) {
    levelReadout_->SetText(wxString::Format("%3.0f/%-3.0f", fabs(leftBallistics_->LevelDb()),
                                            fabs(rightBallistics_->LevelDb())));
  }
}
