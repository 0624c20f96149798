#include "push_button.h"

PushButton::PushButton(int32_t x, int32_t y, int32_t width, int32_t height,
                       MeterWidgetOwner* owner, WidgetCallback callback, int32_t toggles)
    : MeterWidget(x, y, width, height, owner), callback_(callback), toggles_(toggles) {}

void PushButton::Draw(wxDC&) {}

void PushButton::SetState(int32_t state) {
  state_ = state;
  MarkDirty();
}

bool PushButton::HandleMouse(wxMouseEvent& event) {
  if (!enabled_) return false;
  if (!event.LeftDown() && !event.LeftDClick()) return false;
  if (state_ == kDown)
    SetState(kUp);
  else if (state_ == kUp)
    SetState(toggles_ ? kDown : kUp);
  CallBack(callback_);
  return true;
}
