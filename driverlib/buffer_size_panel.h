// The buffer-size dialog: a slider over nine power-of-two steps above the card's minimum.
#pragma once

#include <windows.h>

// Ids of dialog resource 1 and its controls.
#include "resources/panel_resource_ids.h"

constexpr int kBufferSizeSteps = 9;  // positions 0 to 8

class BufferSizePanel {
public:
  BufferSizePanel();
  ~BufferSizePanel();
  BufferSizePanel(const BufferSizePanel&) = delete;
  BufferSizePanel& operator=(const BufferSizePanel&) = delete;

  // Shows the dialog modally over parent (may be null); on Done stores the chosen size under
  // keyPath. chosenSize is 0 afterwards when nothing was stored.
  void run(HINSTANCE instance, HWND parent, DWORD baseSize, const char* keyPath);

  DWORD baseSize;
  char* keyPath;
  DWORD chosenSize;

  // The panel being shown in this process (null when none): the dialog procedure reaches
  // baseSize and keyPath through it.
  static BufferSizePanel* current;
};

// The dialog procedure of dialog resource 1.
INT_PTR CALLBACK bufferSizePanelProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The size of slider position p, baseSize x 2^p frames.
DWORD bufferSizeStep(DWORD baseSize, int position);
