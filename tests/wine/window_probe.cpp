// window_probe: the Wine checks' eyes and hands on another process's window.
//   window_probe read  "<caption>"  prints the texts of the window's static controls, then
//                                    presses OK;
//   window_probe panel "<caption>"  on the buffer-size panel: prints the label, presses Right
//                                    on the trackbar, prints the label, presses Enter.
// It waits up to a minute for the window (a fresh Wine prefix starts slowly) and exits 1
// when none comes; lines are "text: ...", "label: ...", "position: ...".
#include <windows.h>
#include <commctrl.h>

#include <stdio.h>
#include <string.h>

namespace {

const int kWaitMs = 60000;
const int kSliderId = 102;
const int kLabelId = 101;

HWND waitForWindow(const char* caption) {
  for (int waited = 0; waited < kWaitMs; waited += 50) {
    HWND window = FindWindowA(nullptr, caption);
    if (window && IsWindowVisible(window)) return window;
    Sleep(50);
  }
  return nullptr;
}

BOOL CALLBACK printStatic(HWND child, LPARAM) {
  char className[64] = {};
  GetClassNameA(child, className, sizeof className);
  if (lstrcmpiA(className, "Static") != 0) return TRUE;
  char text[512] = {};
  if (GetWindowTextA(child, text, sizeof text) > 0) printf("text: %s\n", text);
  return TRUE;
}

struct PanelState {
  char label[64];
  long position;
};

PanelState readPanel(HWND dialog) {
  PanelState state = {};
  GetDlgItemTextA(dialog, kLabelId, state.label, sizeof state.label);
  state.position = static_cast<long>(SendDlgItemMessageA(dialog, kSliderId, TBM_GETPOS, 0, 0));
  return state;
}

void printPanel(const PanelState& state) {
  printf("label: %s\nposition: %ld\n", state.label, state.position);
}

// Posted keys go through the dialog's own message loop, as typed keys do.
void pressKey(HWND target, WPARAM key) {
  PostMessageA(target, WM_KEYDOWN, key, 1);
  PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

// The dialog's thread handles the posted key when it gets to it; a sent message would be
// answered before it. So wait until the label has followed the position (the label changes
// on the key's end of track), or the time is up.
PanelState waitForMove(HWND dialog, const PanelState& before) {
  PanelState now = before;
  for (int waited = 0; waited < kWaitMs; waited += 20) {
    now = readPanel(dialog);
    if (now.position != before.position && strcmp(now.label, before.label) != 0) break;
    Sleep(20);
  }
  return now;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (strcmp(argv[1], "read") != 0 && strcmp(argv[1], "panel") != 0)) {
    fprintf(stderr, "usage: window_probe read|panel \"<caption>\"\n");
    return 2;
  }
  HWND window = waitForWindow(argv[2]);
  if (!window) {
    fprintf(stderr, "window_probe: no window \"%s\"\n", argv[2]);
    return 1;
  }
  if (strcmp(argv[1], "read") == 0) {
    EnumChildWindows(window, printStatic, 0);
    fflush(stdout);
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return 0;
  }
  HWND slider = GetDlgItem(window, kSliderId);
  if (!slider) {
    fprintf(stderr, "window_probe: \"%s\" has no trackbar\n", argv[2]);
    return 1;
  }
  PanelState before = readPanel(window);
  printPanel(before);
  pressKey(slider, VK_RIGHT);
  printPanel(waitForMove(window, before));
  pressKey(slider, VK_RETURN);
  fflush(stdout);
  return 0;
}
