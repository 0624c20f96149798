// The entry point that vexaplatform looks up after loading this library.
#include "gtk_frontend.h"

namespace {

bool start() { return gtk_init_check(nullptr, nullptr); }

void runDialog(vexa::platform::Dialog& dialog, HWND parent) { vexa::ui::runDialog(dialog, parent); }

int messageBox(const vexa::platform::MessageBoxCall& call) { return vexa::ui::messageBox(call); }

const vexa::platform::UiFrontend frontend{start, runDialog, messageBox};

}  // namespace

extern "C" const vexa::platform::UiFrontend* vexa_ui_frontend() { return &frontend; }
