#include "standalone_panel.h"

#include "buffer_size_panel.h"
#include "device_link.h"
#include "settings_key.h"

#include <commctrl.h>

#include <new>
#include <string.h>

namespace {

// What the program holds while it runs: its own handle and StreamConfig, not a DeviceLink.
struct Program {
  HINSTANCE instance = nullptr;
  HANDLE handle = INVALID_HANDLE_VALUE;
  StreamConfig config{};
  BufferSizePanel* panel = nullptr;
};

void complain(const char* text) {
  MessageBoxA(nullptr, text, STANDALONE_PANEL_CAPTION, MB_OK | MB_ICONERROR);
}

bool versionAccepted(HANDLE handle) {
  DWORD version = 0xFFFFFFFF;
  DWORD returned = 0;
  return deviceRequest(handle, IOCTL_VV_GET_VERSION, nullptr, 0, &version, sizeof version,
                       &returned) &&
         returned != 0 && version == 0;
}

bool streamClaimed(HANDLE handle, StreamConfig& config) {
  memset(&config, 0, sizeof config);
  config.bufferBytes = SettingsKey(ASIO_SETTINGS_KEY).readBufferSize() * 4;
  DWORD returned = 0;
  return deviceRequest(handle, IOCTL_VV_OPEN_STREAM, &config, sizeof config, &config,
                       sizeof config, &returned) &&
         returned != 0;
}

}  // namespace

int runStandalonePanel(HINSTANCE instance) {
  Program program;
  program.instance = instance;
  InitCommonControls();

  program.handle = CreateFileA(VV_DEVICE_NAME, 0, 0, nullptr, VV_OPEN_DISPOSITION,
                               VV_OPEN_FLAGS, nullptr);
  if (program.handle == INVALID_HANDLE_VALUE) {
    complain("Could not open the Tarvenix VxD");
  } else if (!versionAccepted(program.handle)) {
    complain("Driver version mismatch");
  } else if (!streamClaimed(program.handle, program.config)) {
    complain("Sorry, the TX ASIO driver is in use or otherwise not available.");
  } else {
    // The claimed stream keeps every driver from streaming while the panel is open.
    program.panel = new (std::nothrow) BufferSizePanel;
    if (program.panel) {
      program.panel->run(program.instance, nullptr, program.config.minBufferSize,
                         ASIO_SETTINGS_KEY);
      delete program.panel;
      program.panel = nullptr;
    }
  }

  if (program.handle != INVALID_HANDLE_VALUE) CloseHandle(program.handle);
  return 0;
}
