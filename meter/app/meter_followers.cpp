// The display follows the device and the frame's settings.
#include "meter_frame.h"

#include "bitmap_button.h"
#include "choice_label.h"
#include "llva_vxd_device.h"
#include "meter_ballistics.h"
#include "meter_errors.h"
#include "push_button.h"
#include "text_label.h"

#include <wx/string.h>

void MeterFrame::ShowClipRuns() {
  clipReadout_->SetText(wxString::Format("%d/%d", static_cast<int>(leftBallistics_->LongestClipRun()),
                                         static_cast<int>(rightBallistics_->LongestClipRun())));
}

void MeterFrame::ShowRateText(int32_t rate, bool slaved) {
  if (rate == 0) {
    rateChoice_->SetText("(no spdif clock)");
    return;
  }
  wxString text = wxString::Format("%d", static_cast<int>(rate));
  if (slaved) text += " (S/PDIF)";
  rateChoice_->SetText(text);
}

void MeterFrame::ShowSampleRate() {
  if (!device_) return;
  const int32_t rate = device_->GetSampleRate();
  if (rate != 0) {
    sampleRate_ = rate;
    ShowRateText(rate, device_->GetSlaveStatus() != 0);
  } else {
    ShowRateText(0, false);
  }
}

void MeterFrame::OnSampleRateChange(int32_t) {
  try {
    ShowSampleRate();
  } catch (const NonfatalError&) {
    // The slave status could not be read: the rate is shown without it rather than not at all.
    ShowRateText(device_->GetSampleRate(), false);
  }
}

void MeterFrame::ShowRouting() {
  if (!device_) return;
  const int32_t mode = device_->GetRoute();
  if (mode >= 0 && mode < kRouteCount)
    routingChoice_->SetIndex(mode);
  else
    routingChoice_->SetText("(unknown)");
  if (device_->GetRoute() == 2) {
    rateChoice_->Enable();
    rateUp_->Enable();
    rateDown_->Enable();
  } else {
    rateChoice_->Disable();
    rateUp_->Disable();
    rateDown_->Disable();
  }
}

void MeterFrame::ShowClipCount() {
  clipCountChoice_->SetText(wxString::Format("%d", static_cast<int>(clipCount_)));
}

void MeterFrame::ShowClipBits() {
  int32_t index = kClipBitsCount - 1;
  for (int32_t i = 0; i < kClipBitsCount; ++i) {
    if (kClipBitsTable[i] <= clipMonitorBits_) {
      index = i;
      break;
    }
  }
  clipBitsChoice_->SetIndex(index);
}

void MeterFrame::ShowSlave() {
  if (!device_) return;
  slaveSwitch_->SetState(device_->GetSlaveStatus() != 0 ? PushButton::kDown : PushButton::kUp);
}
