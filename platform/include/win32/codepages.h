// Code-page conversion between the ANSI code page (UTF-8 here) and 16-bit wide strings.
#pragma once

#include "win32/basetypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_UTF8 65001

VEXA_EXTERN_C_BEGIN
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWCH lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCCH lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCCH lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
VEXA_EXTERN_C_END
