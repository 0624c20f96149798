// Modules: the program and the shared libraries of this system loaded into the process.
// A module name ending in ".dll" matches the platform's ".so"; names compare case-insensitively.
#pragma once

#include "win32/basetypes.h"

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193L
#endif
#ifndef ERROR_DLL_INIT_FAILED
#define ERROR_DLL_INIT_FAILED 1114L
#endif

VEXA_EXTERN_C_BEGIN
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName);
FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// The module is freed once the thread has left it: its code may be the caller's.
void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode);
BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule);
LPSTR WINAPI CharLowerA(LPSTR lpsz);

// Defined by a module of ours and called with its own instance handle when it is loaded and
// unloaded. Declared here with default visibility so that a module compiled with hidden
// visibility still exports it, as its export list says.
DECLSPEC_EXPORT BOOL WINAPI DllMain(HINSTANCE hinstDLL, DWORD fdwReason, LPVOID lpvReserved);

// Defined by a program of ours; main() calls it with the program's instance handle.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nShowCmd);
VEXA_EXTERN_C_END
