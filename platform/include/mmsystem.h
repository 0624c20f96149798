// Multimedia timer: the system time in milliseconds, wrapping at 2^32.
#pragma once

#include "win32/basetypes.h"

VEXA_EXTERN_C_BEGIN
DWORD WINAPI timeGetTime(void);
VEXA_EXTERN_C_END
