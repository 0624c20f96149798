// What the panel's controls do to the device, the ballistics and the display.
#include "meter_frame.h"

#include "bitmap_button.h"
#include "choice_label.h"
#include "image_indicator.h"
#include "llva_vxd_device.h"
#include "meter_ballistics.h"
#include "meter_errors.h"

#include <wx/string.h>

const int32_t MeterFrame::kRates[kRateCount] = {96000, 88200, 48000, 44100, 32000, 24000, 22050};
const int32_t MeterFrame::kClipBitsTable[kClipBitsCount] = {32, 24, 20, 18, 16};

namespace {

// The decimal number at the start of a text; 0 when it does not start with a digit.
int32_t LeadingNumber(const wxString& text) {
  int64_t value = 0;
  for (wxString::const_iterator it = text.begin(); it != text.end(); ++it) {
    const wxUniChar c = *it;
    if (c < '0' || c > '9') break;
    value = value * 10 + (c.GetValue() - '0');
    if (value > 0x7FFFFFFF) return 0x7FFFFFFF;
  }
  return static_cast<int32_t>(value);
}

}  // namespace

void MeterFrame::ApplyRouting() {
  const int32_t mode = routingChoice_->GetIndex();
  if (device_ && mode >= 0 && mode < kRouteCount) {
    try {
      device_->SetRoute(mode);
    } catch (const NonfatalError&) {
    }
  }
  try {
    ShowRouting();
  } catch (const NonfatalError&) {
  }
}

void MeterFrame::RoutingUp() {
  const int32_t index = routingChoice_->GetIndex() - 1;
  if (index < 0) return;
  routingChoice_->SetIndex(index);
  ApplyRouting();
}

void MeterFrame::RoutingDown() {
  const int32_t index = routingChoice_->GetIndex() + 1;
  if (index < 0 || index >= kRouteCount) return;
  routingChoice_->SetIndex(index);
  ApplyRouting();
}

void MeterFrame::ApplySampleRate() {
  const int32_t index = rateChoice_->GetIndex();
  if (!device_ || index < 0 || index >= kRateCount) return;
  try {
    device_->SetSampleRate(kRates[index]);
  } catch (const NonfatalError&) {
    // The card keeps its rate: show that one again rather than the refused pick.
    try {
      ShowSampleRate();
    } catch (const NonfatalError&) {
      ShowRateText(device_->GetSampleRate(), false);
    }
  }
}

void MeterFrame::PickRate(int32_t index) {
  rateChoice_->SetIndex(index);
  ApplySampleRate();
}

void MeterFrame::RateUp() {
  const int32_t shown = LeadingNumber(rateChoice_->GetText());
  int32_t index = 0;
  for (int32_t i = kRateCount - 1; i >= 0; --i) {
    if (kRates[i] > shown) {
      index = i;
      break;
    }
  }
  PickRate(index);
}

void MeterFrame::RateDown() {
  const int32_t shown = LeadingNumber(rateChoice_->GetText());
  int32_t index = kRateCount - 1;
  for (int32_t i = 0; i < kRateCount; ++i) {
    if (kRates[i] < shown) {
      index = i;
      break;
    }
  }
  PickRate(index);
}

void MeterFrame::ToggleSlave() {
  if (device_) {
    try {
      if (slaveSwitch_->GetState() != PushButton::kDown) {
        device_->DisableSlave();
        if (device_->GetSampleRate() == 0) device_->SetSampleRate(sampleRate_);
      } else {
        device_->EngageSlave();
      }
      ShowSlave();
    } catch (const NonfatalError&) {
    }
  }
}

void MeterFrame::ApplyBallistics() { SetBallistics(ballisticsChoice_->GetIndex()); }

void MeterFrame::BallisticsUp() {
  const int32_t index = ballisticsChoice_->GetIndex() - 1;
  if (index < 0) return;
  ballisticsChoice_->SetIndex(index);
  ApplyBallistics();
}

void MeterFrame::BallisticsDown() {
  const int32_t index = ballisticsChoice_->GetIndex() + 1;
  if (index < 0 || index >= 2) return;
  ballisticsChoice_->SetIndex(index);
  ApplyBallistics();
}

void MeterFrame::SetBallistics(int32_t mode) {
  ballisticsMode_ = mode;
  MeterBallistics* left = MakeBallistics(mode).release();
  MeterBallistics* right = MakeBallistics(mode).release();
  left->SetClipBits(clipMonitorBits_);
  right->SetClipBits(clipMonitorBits_);
  delete leftBallistics_;
  delete rightBallistics_;
  leftBallistics_ = left;
  rightBallistics_ = right;
  ballisticsChoice_->SetIndex(mode == 1 ? 1 : 0);
}

void MeterFrame::ApplyClipCount() {
  int32_t count = LeadingNumber(clipCountChoice_->GetText());
  if (count < 1) count = 1;
  if (count > 99) count = 99;
  clipCount_ = count;
  ResetClipDisplay();
}

void MeterFrame::ClipCountTo(int32_t count) {
  clipCountChoice_->SetText(wxString::Format("%d", count));
  ApplyClipCount();
}

void MeterFrame::ClipCountUp() {
  const int32_t count = LeadingNumber(clipCountChoice_->GetText()) + 1;
  ClipCountTo(count > 99 ? 99 : count);
}

void MeterFrame::ClipCountDown() {
  const int32_t count = LeadingNumber(clipCountChoice_->GetText()) - 1;
  ClipCountTo(count < 1 ? 1 : count);
}

void MeterFrame::ApplyClipBits() {
  const int32_t index = clipBitsChoice_->GetIndex();
  if (index >= 0 && index < kClipBitsCount) clipMonitorBits_ = kClipBitsTable[index];
  leftBallistics_->SetClipBits(clipMonitorBits_);
  rightBallistics_->SetClipBits(clipMonitorBits_);
  ResetClipDisplay();
}

void MeterFrame::ClipBitsUp() {
  const int32_t index = clipBitsChoice_->GetIndex() - 1;
  if (index < 0) return;
  clipBitsChoice_->SetIndex(index);
  ApplyClipBits();
}

void MeterFrame::ClipBitsDown() {
  const int32_t index = clipBitsChoice_->GetIndex() + 1;
  if (index < 0 || index >= kClipBitsCount) return;
  clipBitsChoice_->SetIndex(index);
  ApplyClipBits();
}

void MeterFrame::ResetClipDisplay() {
  leftLamp_->SetIndex(0);
  leftBallistics_->ResetClips();
  rightLamp_->SetIndex(0);
  rightBallistics_->ResetClips();
  leftShownClipRun_ = 0;
  rightShownClipRun_ = 0;
  ShowClipRuns();
}
