// tx_ascp opens the real dialog on the display; real key presses (xdotool) choose a size.
// The screenshots are kept in build/artifacts.
#include "buffer_size_panel.h"
#include "settings_key.h"

#include <private_registry.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;

// Generous: a loaded machine may take long to start GTK.
constexpr auto kPatience = 60s;

std::string run(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

class PanelGuiTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) GTEST_SKIP() << "needs a display (run under xvfb-run)";
    if (run("command -v xdotool").empty()) FAIL() << "xdotool is missing (scripts/setup-deps)";
    mkdir(VEXA_ARTIFACT_DIR, 0755);
  }

  void TearDown() override {
    if (child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
  }

  void start(bool withCard = true) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) env.emplace_back(*e);
    if (!withCard) env.emplace_back("VEXA_TEST_NO_CARD=1");
    // In the sanitizer build: the toolkit's own caches are not the program's leaks.
    env.emplace_back(std::string("LSAN_OPTIONS=suppressions=") + VEXA_TOOLKIT_LEAKS);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(VEXA_ASCP_ON_DOUBLE), nullptr};
    ASSERT_EQ(posix_spawn(&child, VEXA_ASCP_ON_DOUBLE, nullptr, nullptr, argv, envp.data()), 0);
  }

  // The id of the visible window with this exact title, or "" when it did not come.
  std::string waitForWindow(const std::string& title) {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
      std::string id =
          run("timeout 10 xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -n1");
      if (!id.empty()) return id;
      if (exited()) return "";
      std::this_thread::sleep_for(200ms);
    }
    return "";
  }

  bool exited() {
    int status = 0;
    if (child > 0 && waitpid(child, &status, WNOHANG) == child) {
      exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      child = -1;
    }
    return child <= 0;
  }

  bool waitForExit() {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
      if (exited()) return true;
      std::this_thread::sleep_for(100ms);
    }
    return false;
  }

  // Keeps a picture of the whole screen once the window has drawn itself.
  void screenshot(const std::string& window, const std::string& name) {
    run("sleep 1");
    std::string path = std::string(VEXA_ARTIFACT_DIR) + "/" + name;
    run("timeout 30 import -window root '" + path + "' 2>&1");
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << "no screenshot at " << path;
    EXPECT_GT(st.st_size, 1000) << path;
    (void)window;
  }

  void press(const std::string& window, const std::string& key) {
    // Bounded: a focus that never arrives must not hang the test.
    run("timeout 10 xdotool windowfocus --sync " + window + " 2>&1");
    run("timeout 10 xdotool key --clearmodifiers " + key + " 2>&1");
  }

  vexa::testing::PrivateRegistry registry;
  pid_t child = -1;
  int exitCode = -1;
};

TEST_F(PanelGuiTest, RightArrowThenEnterStoresTheNextSize) {
  SettingsKey(ASIO_SETTINGS_KEY).writeBufferSize(256);  // position 3 of base 32
  start();
  std::string window = waitForWindow("TX ASIO 2 Control Panel");
  ASSERT_FALSE(window.empty()) << "the dialog did not appear";
  screenshot(window, "panel.png");

  press(window, "Right");
  press(window, "Return");
  ASSERT_TRUE(waitForExit()) << "tx_ascp did not end after Enter";
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(SettingsKey(ASIO_SETTINGS_KEY).readBufferSize(), 512u);
}

TEST_F(PanelGuiTest, EscapeLeavesTheStoredSize) {
  SettingsKey(ASIO_SETTINGS_KEY).writeBufferSize(1024);
  start();
  std::string window = waitForWindow("TX ASIO 2 Control Panel");
  ASSERT_FALSE(window.empty()) << "the dialog did not appear";
  press(window, "Left");
  press(window, "Escape");
  ASSERT_TRUE(waitForExit()) << "tx_ascp did not end after Escape";
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(SettingsKey(ASIO_SETTINGS_KEY).readBufferSize(), 1024u);
}

TEST_F(PanelGuiTest, MissingCardShowsAMessageBox) {
  start(false);
  std::string window = waitForWindow("TX ASIO 2 Control Panel \\(standalone\\)");
  ASSERT_FALSE(window.empty()) << "the message box did not appear";
  screenshot(window, "no_card.png");
  press(window, "Return");
  ASSERT_TRUE(waitForExit()) << "tx_ascp did not end after OK";
  EXPECT_EQ(exitCode, 0);
}

}  // namespace
