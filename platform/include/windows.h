// The Win32 subset that the Vexa software calls, for the Linux i386 build.
#pragma once

#include "win32/basetypes.h"
#include "win32/kernel_handles.h"
#include "win32/threads.h"
#include "win32/apc.h"
#include "win32/registry.h"
#include "win32/modules.h"
#include "win32/codepages.h"
#include "win32/com.h"
#include "win32/user.h"
#include "winioctl.h"
