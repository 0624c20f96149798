// The panel: the widgets at their places over the background, and the three handlers that
// make it live (idle turns changes into repaints, paint composes them, the mouse reaches them).
#include "meter_frame.h"

#include "bitmap_button.h"
#include "choice_label.h"
#include "image_indicator.h"
#include "meter_images.h"
#include "meter_panel_window.h"
#include "push_button.h"
#include "segment_meter.h"
#include "text_label.h"

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/region.h>

namespace {

const char* const kRoutingTexts[] = {"Normal", "4x4", "Converter", "Normal + S/PDIF",
                                     "4x4 + S/PDIF"};
const char* const kRateTexts[] = {"96000", "88200", "48000", "44100", "32000", "24000", "22050"};
const char* const kBallisticsTexts[] = {"Peak Program", "Peak / Hold"};
const char* const kClipCountTexts[] = {"1", "2", "3", "5", "7", "10", "15"};
const char* const kClipBitsTexts[] = {"32", "24", "20", "18", "16"};

// dBFS from the top segment down: 0.5 dB, then 1 dB steps to -21, 3 dB to -36, 6 dB to -60
// and 12 dB to -108.
const double kThresholds[] = {-0.5, -1,  -2,  -3,  -4,  -5,  -6,  -7,  -8,  -9,  -10, -11,
                              -12,  -13, -14, -15, -16, -17, -18, -19, -20, -21, -24, -27,
                              -30,  -33, -36, -42, -48, -54, -60, -72, -84, -96, -108};
const int32_t kSegments = sizeof kThresholds / sizeof kThresholds[0];

template <typename Member>
WidgetCallback Call(Member member) {
  return static_cast<WidgetCallback>(member);
}

}  // namespace

void MeterFrame::AddWidget(MeterWidget* widget) {
  widget->next = nullptr;
  if (!widgets_) {
    widgets_ = widget;
    return;
  }
  MeterWidget* last = widgets_;
  while (last->next) last = last->next;
  last->next = widget;
}

void MeterFrame::BuildPanel() {
  AddWidget(new PushButton(120, 11, 15, 14, this, Call(&MeterFrame::ShowHelp), 0));

  routingChoice_ = new ChoiceLabel(12, 35, 108, 19, this, Call(&MeterFrame::ApplyRouting), 0,
                                   kRoutingTexts, 5);
  AddWidget(routingChoice_);
  AddWidget(new PushButton(120, 32, 15, 13, this, Call(&MeterFrame::RoutingUp), 0));
  AddWidget(new PushButton(120, 45, 15, 13, this, Call(&MeterFrame::RoutingDown), 0));

  rateChoice_ = new ChoiceLabel(12, 82, 108, 19, this, Call(&MeterFrame::ApplySampleRate), 0,
                                kRateTexts, 7);
  AddWidget(rateChoice_);
  rateUp_ = new PushButton(120, 79, 15, 13, this, Call(&MeterFrame::RateUp), 0);
  AddWidget(rateUp_);
  rateDown_ = new PushButton(120, 92, 15, 13, this, Call(&MeterFrame::RateDown), 0);
  AddWidget(rateDown_);

  slaveSwitch_ = new BitmapButton(12, 111, 123, 19, this, Call(&MeterFrame::ToggleSlave), 1,
                                  NewMeterImage(MeterImage::SwitchOff),
                                  NewMeterImage(MeterImage::SwitchOn));
  AddWidget(slaveSwitch_);

  ballisticsChoice_ = new ChoiceLabel(12, 157, 108, 19, this,
                                      Call(&MeterFrame::ApplyBallistics), 0, kBallisticsTexts, 2);
  AddWidget(ballisticsChoice_);
  AddWidget(new PushButton(120, 154, 15, 13, this, Call(&MeterFrame::BallisticsUp), 0));
  AddWidget(new PushButton(120, 167, 15, 13, this, Call(&MeterFrame::BallisticsDown), 0));

  clipCountChoice_ = new ChoiceLabel(54, 203, 67, 19, this, Call(&MeterFrame::ApplyClipCount),
                                     0, kClipCountTexts, 7);
  AddWidget(clipCountChoice_);
  AddWidget(new PushButton(120, 200, 15, 13, this, Call(&MeterFrame::ClipCountUp), 0));
  AddWidget(new PushButton(120, 214, 15, 13, this, Call(&MeterFrame::ClipCountDown), 0));

  clipBitsChoice_ = new ChoiceLabel(54, 232, 67, 19, this, Call(&MeterFrame::ApplyClipBits), 0,
                                    kClipBitsTexts, 5);
  AddWidget(clipBitsChoice_);
  AddWidget(new PushButton(120, 229, 15, 13, this, Call(&MeterFrame::ClipBitsUp), 0));
  AddWidget(new PushButton(120, 242, 15, 13, this, Call(&MeterFrame::ClipBitsDown), 0));

  leftLamp_ = new ImageIndicator(159, 11, 9, 9, this, NewMeterImage(MeterImage::LampDark));
  leftLamp_->AddImage(NewMeterImage(MeterImage::LampLit));
  AddWidget(leftLamp_);
  rightLamp_ = new ImageIndicator(200, 11, 9, 9, this, NewMeterImage(MeterImage::LampDark));
  rightLamp_->AddImage(NewMeterImage(MeterImage::LampLit));
  AddWidget(rightLamp_);
  clipReset_ = new PushButton(159, 11, 50, 9, this, Call(&MeterFrame::ResetClipDisplay), 0);
  AddWidget(clipReset_);

  leftMeter_ = new SegmentMeter(159, 23, 9, 175, this, kSegments, kThresholds,
                                NewMeterImage(MeterImage::MeterUnlit),
                                NewMeterImage(MeterImage::MeterLit));
  AddWidget(leftMeter_);
  rightMeter_ = new SegmentMeter(200, 23, 9, 175, this, kSegments, kThresholds,
                                 NewMeterImage(MeterImage::MeterUnlit),
                                 NewMeterImage(MeterImage::MeterLit));
  AddWidget(rightMeter_);

  clipReadout_ = new TextLabel(154, 212, 63, 19, this, TextLabel::kCentred);
  AddWidget(clipReadout_);
  levelReadout_ = new TextLabel(154, 231, 63, 19, this, TextLabel::kCentred);
  AddWidget(levelReadout_);
}

void MeterFrame::OnIdle(wxIdleEvent&) {
  for (MeterWidget* widget = widgets_; widget; widget = widget->next) {
    if (!widget->dirty) continue;
    const wxRect area = widget->Rect();
    panel_->RefreshRect(area, false);
    widget->dirty = 0;
  }
}

void MeterFrame::OnPaint(wxPaintEvent&) {
  wxPaintDC screen(panel_);
  const wxRegion update = panel_->GetUpdateRegion();
  // The copies are clipped to the update region; limiting them to its box as well spares the
  // toolkit from handling the rest of the bitmap on every paint.
  const wxRect box =
      update.GetBox().Intersect(wxRect(backgroundBitmap_->GetSize()));

  backDC_->DestroyClippingRegion();
  backDC_->SetDeviceClippingRegion(update);
  backDC_->Blit(box.x, box.y, box.width, box.height, backgroundDC_, box.x, box.y, wxCOPY, false);

  uint32_t draws = 0;
  // Every widget draws clipped to the update region. Setting that clipping is one of the
  // dearer steps of a paint, so it is set again only after a widget that narrowed it.
  bool clippedToUpdate = true;
  for (MeterWidget* widget = widgets_; widget; widget = widget->next) {
    if (update.Contains(widget->Rect()) == wxOutRegion) continue;
    if (!clippedToUpdate) {
      backDC_->DestroyClippingRegion();
      backDC_->SetDeviceClippingRegion(update);
    }
    widget->Draw(*backDC_);
    clippedToUpdate = !widget->ChangesClipping();
    ++draws;
  }

  // A new paint DC has no clipping of its own to remove.
  screen.SetDeviceClippingRegion(update);
  screen.Blit(box.x, box.y, box.width, box.height, backDC_, box.x, box.y, wxCOPY, false);

  ++painted_.paints;
  painted_.draws += draws;
  painted_.lastDraws = draws;
  painted_.lastUpdate = update.GetBox();

  // Windows runs an idle pass after every message; GTK does not after drawing. Without this
  // the alertable sleep, and with it the meter data, would wait for the next input event.
  wxWakeUpIdle();
}

void MeterFrame::OnMouse(wxMouseEvent& event) {
  const wxPoint at = event.GetPosition();
  for (MeterWidget* widget = widgets_; widget; widget = widget->next) {
    if (widget->Contains(at.x, at.y) && widget->HandleMouse(event)) return;
  }
}
