// Modules: the program and the shared libraries of this system loaded into the process.
// A module name ending in ".dll" matches the platform's ".so"; names compare case-insensitively.
#pragma once

#include "win32/basetypes.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

VEXA_EXTERN_C_BEGIN
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule);
LPSTR WINAPI CharLowerA(LPSTR lpsz);
VEXA_EXTERN_C_END
