// tx_ascp, "TX ASIO 2 Control Panel (standalone)": the ASIO buffer-size panel without a host.
#include "standalone_panel.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return runStandalonePanel(instance);
}
