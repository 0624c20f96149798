// User-interface calls: dialogs from resource templates, trackbar messages, message boxes.
// Implemented with GTK 3 when a display is available.
#pragma once

#include "win32/basetypes.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)

#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_HSCROLL 0x0114
#define WM_VSCROLL 0x0115
#define WM_CLOSE 0x0010
#define WM_SETICON 0x0080
#define WM_USER 0x0400

#define ICON_SMALL 0
#define ICON_BIG 1

#define IDOK 1
#define IDCANCEL 2

#define MB_OK 0x00000000L
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION MB_ICONASTERISK

#define SW_SHOWDEFAULT 10

VEXA_EXTERN_C_BEGIN
INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam);
BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult);
LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                   LPARAM lParam);
BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
VEXA_EXTERN_C_END
