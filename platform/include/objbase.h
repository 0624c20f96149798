// COM: identifiers, IUnknown, IClassFactory, apartment initialisation and in-process activation.
#pragma once

#include "win32/basetypes.h"
#include "win32/com.h"
