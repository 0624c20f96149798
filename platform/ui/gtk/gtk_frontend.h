// The GTK 3 front-end of the platform's dialogs and message boxes.
#pragma once

#include <vexa/dialog.h>

#include <gtk/gtk.h>

namespace vexa::ui {

// Window style bits the front-end reads from templates.
constexpr DWORD WS_VISIBLE_BIT = 0x10000000;
constexpr DWORD WS_SYSMENU_BIT = 0x00080000;

void runDialog(platform::Dialog& dialog, HWND parent);
int messageBox(const platform::MessageBoxCall& call);

}  // namespace vexa::ui
