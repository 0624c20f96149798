// The process's user-interface front-end and the hooks that stand in for it in tests.
#pragma once

#include <vexa/dialog.h>

#include <mutex>

namespace vexa::platform {

// The GTK front-end when a display is available (loaded on first use), else null.
const UiFrontend* displayFrontend();

// One window at a time per process: a second thread asking for a window while another shows
// one gets no window (the dialog fails, the message box goes to standard error).
std::recursive_mutex& windowLock();

DialogAnswerer currentDialogAnswerer();
MessageBoxAnswerer currentMessageBoxAnswerer();

}  // namespace vexa::platform
