#include "choice_menu.h"

wxBEGIN_EVENT_TABLE(ChoiceMenu, wxMenu)
  EVT_MENU_RANGE(0, ChoiceMenu::kLastChoosableId, ChoiceMenu::OnSelect)
wxEND_EVENT_TABLE()

ChoiceMenu::ChoiceMenu(const char* const* texts, int32_t count) {
  for (int32_t i = 0; i < count; ++i) Append(i, wxString::FromUTF8(texts[i]), wxEmptyString);
}

void ChoiceMenu::OnSelect(wxCommandEvent& event) { chosenId = event.GetId(); }
