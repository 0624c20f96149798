// Integration tests against the simulated card: a txvvd of the test's own on a private socket,
// with a private registry, and a way to run the project's programs and collect their output.
//
//   vexa::testing::CardDaemon card({"--loopback", "--rate", "48000"});
//   ASSERT_TRUE(card.started()) << card.error();
//   // CreateFileA("\\.\TX_VV.VXD") in this process and in every program started from here
//   // now reaches this daemon; VEXA_REGISTRY points at a private registry.
//   auto result = vexa::testing::runProgram({vexa::testing::binPath("asiohost"), "..."});
//
// Options are txvvd's (txvvd --help). The daemon stops when the object goes.
#pragma once

#include <private_registry.h>

#include <sys/types.h>

#include <string>
#include <vector>

namespace vexa::testing {

// build/bin: $VEXA_BIN_DIR (set by CTest), else beside the test's own folder.
std::string binDir();
std::string binPath(const std::string& program);

struct ProgramResult {
  int exitCode = -1;      // -1 when it did not end normally
  int signal = 0;         // the signal that ended it, if any
  bool timedOut = false;  // killed after the time-out
  std::string output;     // standard output
  std::string errors;     // standard error
};

// Runs a program (argv[0] is its path) to its end, at most timeoutMs (then it is killed).
ProgramResult runProgram(const std::vector<std::string>& argv, int timeoutMs = 60000);

// A program running in the background, for tests that act while it runs.
class BackgroundProgram {
public:
  explicit BackgroundProgram(const std::vector<std::string>& argv);
  ~BackgroundProgram();  // kills it if it still runs
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  pid_t pid() const { return pid_; }
  // Waits until its standard output contains `text`; false on time-out or when it ended.
  bool waitForOutput(const std::string& text, int timeoutMs = 20000);
  void kill(int signal = 9);
  // Waits for the end (at most timeoutMs, then kills it) and returns what it printed.
  ProgramResult finish(int timeoutMs = 60000);

private:
  void drain(int timeoutMs);
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string output_, errors_;
  bool ended_ = false;
  ProgramResult result_;
};

class CardDaemon {
public:
  explicit CardDaemon(const std::vector<std::string>& options = {});
  ~CardDaemon();
  CardDaemon(const CardDaemon&) = delete;
  CardDaemon& operator=(const CardDaemon&) = delete;

  bool started() const { return pid_ > 0; }
  // Why it did not start (its own messages included).
  const std::string& error() const { return error_; }
  const std::string& socketPath() const { return socket_; }
  // A private temporary folder of this fixture (for WAV files and the like), removed after.
  const std::string& folder() const { return folder_; }
  pid_t pid() const { return pid_; }

  // What `txvvd --status` prints for this card.
  std::string status() const;
  // What the daemon wrote to its standard output and error so far.
  std::string log() const;
  // Ends the daemon (SIGTERM, then SIGKILL after a while); true when it ended cleanly.
  bool stop();

private:
  PrivateRegistry registry_;
  std::string folder_;
  std::string socket_;
  std::string error_;
  std::string previousCard_, previousDaemon_;
  bool hadCard_ = false, hadDaemon_ = false;
  pid_t pid_ = -1;
};

}  // namespace vexa::testing
