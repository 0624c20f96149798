#include "choice_label.h"

ChoiceLabel::ChoiceLabel(int32_t x, int32_t y, int32_t width, int32_t height,
                         MeterWidgetOwner* owner, WidgetCallback callback, int32_t rightMargin,
                         const char* const* texts, int32_t count)
    : MeterWidget(x, y, width, height, owner),
      callback_(callback),
      rightMargin_(rightMargin),
      menu_(new ChoiceMenu(texts, count)) {
  if (count > 0) text_ = menu_->GetLabel(0);
}

ChoiceLabel::~ChoiceLabel() { delete menu_; }

void ChoiceLabel::SetIndex(int32_t index) {
  index_ = index;
  // An index without an item keeps the text rather than reading outside the menu.
  if (menu_->FindItem(index)) text_ = menu_->GetLabel(index);
  MarkDirty();
}

void ChoiceLabel::SetText(const wxString& text) {
  const int found = menu_->FindItem(text);
  index_ = found == wxNOT_FOUND ? -1 : found;
  text_ = text;
  MarkDirty();
}

bool ChoiceLabel::ChangesClipping() const { return true; }

void ChoiceLabel::Draw(wxDC& dc) {
  dc.SetClippingRegion(x + 1, y + 1, width - rightMargin_ - 2, height - 2);
  dc.SetBackgroundMode(wxTRANSPARENT);
  dc.SetTextForeground(*wxBLACK);
  dc.DrawText(text_, x + 1, y + 1);
}

void ChoiceLabel::PopUp() {
  if (owner) owner->PopupMenu(menu_, x + 1, y + 1);
}

bool ChoiceLabel::HandleMouse(wxMouseEvent& event) {
  if (!enabled_ || !event.LeftDown()) return false;
  menu_->chosenId = -1;
  PopUp();
  const int32_t chosen = menu_->chosenId;
  if (chosen == -1 || chosen == index_) return true;
  index_ = chosen;
  text_ = menu_->GetLabel(chosen);
  MarkDirty();
  CallBack(callback_);
  return true;
}
