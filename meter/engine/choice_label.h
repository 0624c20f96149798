// A field showing one of a list of texts; a left click pops the list up and a new pick calls
// the owner back. The field's frame and arrows belong to the window's background.
#pragma once

#include "choice_menu.h"
#include "meter_widget.h"

#include <wx/string.h>

class ChoiceLabel : public MeterWidget {
public:
  ChoiceLabel(int32_t x, int32_t y, int32_t width, int32_t height, MeterWidgetOwner* owner,
              WidgetCallback callback, int32_t rightMargin, const char* const* texts,
              int32_t count);
  ~ChoiceLabel() override;

  void Draw(wxDC& dc) override;
  bool ChangesClipping() const override;
  bool HandleMouse(wxMouseEvent& event) override;

  int32_t GetIndex() const { return index_; }
  void SetIndex(int32_t index);
  // Selects the item with this text, or none (-1); the text is shown either way.
  void SetText(const wxString& text);
  const wxString& GetText() const { return text_; }
  void Enable() { enabled_ = 1; }
  void Disable() { enabled_ = 0; }
  bool IsEnabled() const { return enabled_ != 0; }

  ChoiceMenu& Menu() { return *menu_; }

protected:
  // Shows the menu modally and returns once it has closed; virtual so that tests can answer it.
  virtual void PopUp();

private:
  WidgetCallback callback_;
  int32_t rightMargin_;
  ChoiceMenu* menu_;
  int32_t index_ = 0;
  wxString text_;
  int32_t enabled_ = 1;
};
