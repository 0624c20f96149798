// Asynchronous procedure calls: a queue per thread, run by an alertable SleepEx on that thread.
#pragma once

#include "win32/basetypes.h"

typedef void(CALLBACK* PAPCFUNC)(ULONG_PTR Parameter);

VEXA_EXTERN_C_BEGIN
DWORD WINAPI QueueUserAPC(PAPCFUNC pfnAPC, HANDLE hThread, ULONG_PTR dwData);
DWORD WINAPI SleepEx(DWORD dwMilliseconds, BOOL bAlertable);
VEXA_EXTERN_C_END
