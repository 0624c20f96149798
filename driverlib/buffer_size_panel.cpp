#include "buffer_size_panel.h"

#include "settings_key.h"

#include <commctrl.h>

#include <stdio.h>
#include <string.h>

BufferSizePanel* BufferSizePanel::current = nullptr;

namespace {

// Formats the size of the slider's position into the label.
void updateLabel(HWND dialog) {
  const BufferSizePanel* panel = BufferSizePanel::current;
  int position = static_cast<int>(
      SendDlgItemMessageA(dialog, IDC_BUFFER_SIZE_SLIDER, TBM_GETPOS, 0, 0));
  char text[32];
  snprintf(text, sizeof text, "%d samples",
           static_cast<int>(bufferSizeStep(panel ? panel->baseSize : 0, position)));
  SetDlgItemTextA(dialog, IDC_BUFFER_SIZE_LABEL, text);
}

// The smallest position whose size holds the stored one, or the last position.
int initialPosition(DWORD stored, DWORD baseSize) {
  for (int p = 0; p < kBufferSizeSteps; ++p) {
    // Compared in 64 bits: a large base must not wrap to a small step.
    if (static_cast<unsigned long long>(stored) <= static_cast<unsigned long long>(baseSize) << p)
      return p;
  }
  return kBufferSizeSteps - 1;
}

}  // namespace

DWORD bufferSizeStep(DWORD baseSize, int position) {
  if (position <= 0) return baseSize;
  if (position >= kBufferSizeSteps) position = kBufferSizeSteps - 1;
  unsigned long long size = static_cast<unsigned long long>(baseSize) << position;
  return size > 0xFFFFFFFFull ? 0xFFFFFFFFul : static_cast<DWORD>(size);
}

BufferSizePanel::BufferSizePanel() : baseSize(0), keyPath(nullptr), chosenSize(0) {}

BufferSizePanel::~BufferSizePanel() {
  if (current == this) current = nullptr;
  delete[] keyPath;
}

void BufferSizePanel::run(HINSTANCE instance, HWND parent, DWORD base, const char* path) {
  baseSize = base;
  delete[] keyPath;
  keyPath = nullptr;
  if (path) {
    keyPath = new char[strlen(path) + 1];
    strcpy(keyPath, path);
  }
  chosenSize = 0;
  current = this;

  // The trackbar class exists only once comctl32 has registered it; in a host that has not,
  // the dialog would fail to appear without a word.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_BUFFER_SIZE_PANEL), parent,
                                   bufferSizePanelProc, 0);
  if (result < 0 || result >= kBufferSizeSteps) return;
  // A base of 0 (a card driver that did not open) would store 0, which no open can use and
  // no panel can repair; keep the stored size instead.
  if (baseSize == 0 || !keyPath) return;
  chosenSize = bufferSizeStep(baseSize, static_cast<int>(result));
  SettingsKey(keyPath).writeBufferSize(chosenSize);
}

INT_PTR CALLBACK bufferSizePanelProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      SendDlgItemMessageA(dialog, IDC_BUFFER_SIZE_SLIDER, TBM_SETRANGE, FALSE,
                          MAKELONG(0, kBufferSizeSteps - 1));
      SendDlgItemMessageA(dialog, IDC_BUFFER_SIZE_SLIDER, TBM_SETPAGESIZE, 0, 1);
      SendDlgItemMessageA(dialog, IDC_BUFFER_SIZE_SLIDER, TBM_SETTICFREQ, 1, 0);
      const BufferSizePanel* panel = BufferSizePanel::current;
      DWORD stored = kDefaultBufferSize;
      if (panel && panel->keyPath) stored = SettingsKey(panel->keyPath).readBufferSize();
      int position = initialPosition(stored, panel ? panel->baseSize : 0);
      SendDlgItemMessageA(dialog, IDC_BUFFER_SIZE_SLIDER, TBM_SETPOS, TRUE, position);
      updateLabel(dialog);
      return TRUE;
    }
    case WM_HSCROLL:
      switch (LOWORD(wParam)) {
        case TB_THUMBPOSITION:
        case TB_THUMBTRACK:
        case TB_ENDTRACK:
          updateLabel(dialog);
          return FALSE;
        default:
          // Keyboard and page moves update the label when their TB_ENDTRACK arrives.
          return TRUE;
      }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          EndDialog(dialog, SendDlgItemMessageA(dialog, IDC_BUFFER_SIZE_SLIDER, TBM_GETPOS, 0, 0));
          break;
        case IDCANCEL:
          EndDialog(dialog, -2);
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}
