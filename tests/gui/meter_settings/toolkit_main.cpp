// Starts the toolkit once for all tests, with the configuration folder and home of this
// process pointed at a fresh temporary folder: the user's own stores are never touched.
#include "frame_fixture.h"

#include "meter_app.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include <stdlib.h>

#include <filesystem>
#include <string>

bool toolkitStarted = false;

namespace {

std::string MakePrivateHome() {
  std::string pattern = std::filesystem::temp_directory_path() / "vexa-meter-settings-XXXXXX";
  if (!mkdtemp(pattern.data())) return "";
  std::filesystem::create_directories(pattern + "/config");
  std::filesystem::create_directories(pattern + "/home");
  setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
  setenv("HOME", (pattern + "/home").c_str(), 1);
  return pattern;
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const std::string home = MakePrivateHome();
  if (home.empty()) return 1;

  const char* display = getenv("DISPLAY");
  if (display && *display) {
    wxApp::SetInstance(new TestApp);
    toolkitStarted = wxEntryStart(argc, argv);
    if (toolkitStarted) {
      RegisterMeterImageHandlers();
      // What the toolkit logs goes to the test output, not into dialogs nobody answers.
      delete wxLog::SetActiveTarget(new wxLogStderr);
    }
  }
  const int result = RUN_ALL_TESTS();
  if (toolkitStarted) {
    wxTheApp->OnExit();
    wxEntryCleanup();
  }
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return result;
}
