// The popup menu of a ChoiceLabel: one plain item per text, identified by its index, and the
// identifier of the item chosen while it was last shown (-1 for none).
#pragma once

#include <wx/menu.h>

#include <stdint.h>

class ChoiceMenu : public wxMenu {
public:
  static constexpr int kLastChoosableId = 100;

  ChoiceMenu(const char* const* texts, int32_t count);

  int32_t chosenId = -1;

private:
  void OnSelect(wxCommandEvent& event);

  wxDECLARE_EVENT_TABLE();
};
