// The entry point that vexaplatform looks up after loading this library.
#include "gtk_frontend.h"

namespace {

// A display server that is busy accepting another client can refuse a connection for a moment;
// a few tries keep one such moment from turning a window into a line on standard error.
bool start() {
  for (int attempt = 0; attempt < 8; ++attempt) {
    if (gtk_init_check(nullptr, nullptr)) return true;
    g_usleep(250 * 1000);
  }
  return false;
}

void runDialog(vexa::platform::Dialog& dialog, HWND parent) { vexa::ui::runDialog(dialog, parent); }

int messageBox(const vexa::platform::MessageBoxCall& call) { return vexa::ui::messageBox(call); }

const vexa::platform::UiFrontend frontend{start, runDialog, messageBox};

}  // namespace

extern "C" const vexa::platform::UiFrontend* vexa_ui_frontend() { return &frontend; }
