#include "meter_message.h"

#include <wx/msgdlg.h>

namespace {
MeterMessageHandler replacement = nullptr;
}

void SetMeterMessageHandler(MeterMessageHandler handler) { replacement = handler; }

void ShowMeterMessage(const wxString& text) {
  if (replacement) {
    replacement(text);
    return;
  }
  wxMessageDialog box(nullptr, text, "Message", wxOK | wxCENTRE);
  box.ShowModal();
}
