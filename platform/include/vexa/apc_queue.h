// Queue an asynchronous procedure call to a thread by its identifier. The card driver delivers
// its notifications this way to the thread that asked for them.
#pragma once

#include <windows.h>

namespace vexa::platform {

// False when no thread with that identifier has an APC queue (it has ended).
bool queueApcToThread(DWORD threadId, PAPCFUNC function, ULONG_PTR data);

}  // namespace vexa::platform
