// An invisible button over a part of the background: a left press or double click calls the
// owner back. A toggling button alternates between up (0) and down (2) on each press.
#pragma once

#include "meter_widget.h"

class PushButton : public MeterWidget {
public:
  static constexpr int32_t kUp = 0;
  static constexpr int32_t kDown = 2;

  PushButton(int32_t x, int32_t y, int32_t width, int32_t height, MeterWidgetOwner* owner,
             WidgetCallback callback, int32_t toggles);

  void Draw(wxDC& dc) override;
  bool HandleMouse(wxMouseEvent& event) override;

  int32_t GetState() const { return state_; }
  void SetState(int32_t state);
  void Enable() { enabled_ = 1; }
  void Disable() { enabled_ = 0; }
  bool IsEnabled() const { return enabled_ != 0; }

private:
  WidgetCallback callback_;
  int32_t toggles_;
  int32_t state_ = kUp;
  int32_t enabled_ = 1;
};
