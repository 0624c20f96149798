// The program's message boxes: modal, without a parent window, caption "Message", an OK
// button, centred. Tests replace the box with a handler of their own.
#pragma once

#include <wx/string.h>

typedef void (*MeterMessageHandler)(const wxString& text);

void ShowMeterMessage(const wxString& text);

// Null restores the message box.
void SetMeterMessageHandler(MeterMessageHandler handler);
