// tx_ascp's one pass: open the card driver, check its version, claim the stream, show the
// buffer-size panel for the ASIO key, close. WinMain calls it; tests call it in-process.
#pragma once

#include <windows.h>

#define STANDALONE_PANEL_CAPTION "TX ASIO 2 Control Panel (standalone)"

// Shows at most one message box or the panel. Returns the program's exit code, always 0.
int runStandalonePanel(HINSTANCE instance);
