// DialogBoxParamA and the calls a dialog procedure makes on its dialog.
#include "user_frontend.h"

#include <sys/auxv.h>

#include <cstdlib>
#include <memory>

using vexa::platform::Dialog;

namespace {

constexpr DWORD kErrorResourceNameNotFound = 1814;
constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorControlIdNotFound = 1421;

// A null instance names the program itself.
HINSTANCE moduleOrProgram(HINSTANCE instance) {
  if (instance) return instance;
  return vexa::platform::moduleOfAddress(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
}

const vexa::platform::DialogResource* findTemplate(HINSTANCE instance, LPCSTR name) {
  int id;
  if (IS_INTRESOURCE(name)) {
    id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
  } else if (name && name[0] == '#') {
    char* end = nullptr;
    long number = std::strtol(name + 1, &end, 10);
    if (!end || *end || end == name + 1 || number < 0 || number > 0xFFFF) return nullptr;
    id = static_cast<int>(number);
  } else {
    return nullptr;  // our modules name their resources by number only
  }
  const vexa::platform::ResourceEntry* entry =
      vexa::platform::findResource(moduleOrProgram(instance), vexa::platform::kResourceDialog, id);
  return entry ? static_cast<const vexa::platform::DialogResource*>(entry->data) : nullptr;
}

}  // namespace

INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  const vexa::platform::DialogResource* resource = findTemplate(hInstance, lpTemplateName);
  if (!resource) {
    SetLastError(kErrorResourceNameNotFound);
    return -1;
  }
  if (!lpDialogFunc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  HINSTANCE instance = moduleOrProgram(hInstance);

  if (vexa::platform::DialogAnswerer answerer = vexa::platform::currentDialogAnswerer()) {
    Dialog dialog(instance, *resource, lpDialogFunc, dwInitParam);
    dialog.initialize();
    if (!dialog.ended()) answerer(dialog);
    return dialog.ended() ? dialog.result() : -1;
  }

  std::unique_lock<std::recursive_mutex> window(vexa::platform::windowLock(), std::try_to_lock);
  const vexa::platform::UiFrontend* frontend =
      window.owns_lock() ? vexa::platform::displayFrontend() : nullptr;
  if (!frontend) {
    SetLastError(window.owns_lock() ? ERROR_NOT_SUPPORTED : ERROR_BUSY);
    return -1;
  }
  Dialog dialog(instance, *resource, lpDialogFunc, dwInitParam);
  frontend->runDialog(dialog, hWndParent);
  return dialog.ended() ? dialog.result() : -1;
}

BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  Dialog* dialog = Dialog::fromHandle(hDlg);
  if (!dialog) {
    SetLastError(kErrorInvalidWindowHandle);
    return FALSE;
  }
  dialog->end(nResult);
  return TRUE;
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam) {
  Dialog* dialog = Dialog::fromHandle(hDlg);
  if (!dialog) {
    SetLastError(kErrorInvalidWindowHandle);
    return 0;
  }
  if (!dialog->control(nIDDlgItem)) {
    SetLastError(kErrorControlIdNotFound);
    return 0;
  }
  return dialog->sendToControl(nIDDlgItem, Msg, wParam, lParam);
}

BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
  Dialog* dialog = Dialog::fromHandle(hDlg);
  if (!dialog) {
    SetLastError(kErrorInvalidWindowHandle);
    return FALSE;
  }
  if (!dialog->setText(nIDDlgItem, lpString)) {
    SetLastError(kErrorControlIdNotFound);
    return FALSE;
  }
  return TRUE;
}

// The trackbar class is always there; nothing to register.
void WINAPI InitCommonControls(void) {}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
  if (!picce || picce->dwSize != sizeof *picce) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
