// Common controls: the trackbar class and its messages.
#pragma once

#include "win32/basetypes.h"
#include "win32/user.h"

#define TRACKBAR_CLASSA "msctls_trackbar32"

#define TBM_GETPOS (WM_USER)
#define TBM_SETPOS (WM_USER + 5)
#define TBM_SETRANGE (WM_USER + 6)
#define TBM_SETTICFREQ (WM_USER + 20)
#define TBM_SETPAGESIZE (WM_USER + 21)

#define TB_LINEUP 0
#define TB_LINEDOWN 1
#define TB_PAGEUP 2
#define TB_PAGEDOWN 3
#define TB_THUMBPOSITION 4
#define TB_THUMBTRACK 5
#define TB_TOP 6
#define TB_BOTTOM 7
#define TB_ENDTRACK 8

#define TBS_AUTOTICKS 0x0001
#define TBS_HORZ 0x0000
#define TBS_VERT 0x0002
#define TBS_NOTICKS 0x0010

#define ICC_BAR_CLASSES 0x00000004

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

VEXA_EXTERN_C_BEGIN
void WINAPI InitCommonControls(void);
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);
VEXA_EXTERN_C_END
