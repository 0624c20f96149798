// The buffer-size dialog: a slider over nine power-of-two steps above the card's minimum.
#pragma once

#include <windows.h>

// Ids of dialog resource 1 and its controls.
#define IDD_BUFFER_SIZE_PANEL 1
#define IDB_PRODUCT_PICTURE 201
#define IDI_MODULE_ICON 1
#define IDC_BUFFER_SIZE_LABEL 101
#define IDC_BUFFER_SIZE_SLIDER 102

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
};
