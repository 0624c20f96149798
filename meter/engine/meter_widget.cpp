#include "meter_widget.h"

MeterWidget::MeterWidget(int32_t x, int32_t y, int32_t width, int32_t height,
                         MeterWidgetOwner* owner)
    : x(x), y(y), width(width), height(height), owner(owner) {}

MeterWidget::~MeterWidget() = default;

bool MeterWidget::HandleMouse(wxMouseEvent&) { return false; }

bool MeterWidget::ChangesClipping() const { return false; }

void MeterWidget::CallBack(WidgetCallback callback) {
  if (owner && callback) (owner->*callback)();
}
