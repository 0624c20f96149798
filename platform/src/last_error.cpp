#include <windows.h>

#include "streaming_path.h"

namespace {
thread_local DWORD lastError = 0;
}

extern "C" VEXA_STREAMING_PATH DWORD WINAPI GetLastError(void) { return lastError; }
extern "C" VEXA_STREAMING_PATH void WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }
