// The buffer-size panel for the EASI key; a new size takes effect at the next openDriver.
#include "easi_driver.h"

#include "buffer_size_panel.h"
#include "module_state.h"
#include "settings_key.h"

#include <new>

EasiBool STDMETHODCALLTYPE EasiDriver::showControlPanel(HWND* parent) {
  BufferSizePanel* panel = new (std::nothrow) BufferSizePanel;
  if (!panel) return false;
  DWORD baseSize = device ? device->config.minBufferSize : 0;
  panel->run(moduleInstance(), parent ? *parent : nullptr, baseSize, EASI_SETTINGS_KEY);
  bool stored = panel->chosenSize > 0;
  delete panel;
  return stored;
}
