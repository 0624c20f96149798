// MessageBoxA: a GTK message dialog on a display, else one line on standard error.
#include "user_frontend.h"

#include <cstdio>

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  vexa::platform::MessageBoxCall call{hWnd, lpText ? lpText : "", lpCaption ? lpCaption : "Error",
                                      uType};
  if (vexa::platform::MessageBoxAnswerer answerer = vexa::platform::currentMessageBoxAnswerer())
    return answerer(call);

  std::unique_lock<std::recursive_mutex> window(vexa::platform::windowLock(), std::try_to_lock);
  const vexa::platform::UiFrontend* frontend =
      window.owns_lock() ? vexa::platform::displayFrontend() : nullptr;
  if (frontend) return frontend->messageBox(call);
  std::fprintf(stderr, "%s: %s\n", call.caption.c_str(), call.text.c_str());
  std::fflush(stderr);
  return IDOK;
}
