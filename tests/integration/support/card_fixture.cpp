#include "card_fixture.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

extern char** environ;

namespace vexa::testing {

namespace {

int64_t nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

pid_t spawn(const std::vector<std::string>& argv, int* out, int* err) {
  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return -1;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return -1;
  }
  *out = outPipe[0];
  *err = errPipe[0];
  return pid;
}

ProgramResult resultOf(int status) {
  ProgramResult result;
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

void setOrUnset(const char* name, bool had, const std::string& value) {
  if (had) setenv(name, value.c_str(), 1);
  else unsetenv(name);
}

}  // namespace

std::string binDir() {
  if (const char* dir = getenv("VEXA_BIN_DIR"); dir && *dir) return dir;
  char self[PATH_MAX] = {};
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string path = n > 0 ? std::string(self, size_t(n)) : std::string();
  return std::filesystem::path(path).parent_path().parent_path().string() + "/bin";
}

std::string binPath(const std::string& program) { return binDir() + "/" + program; }

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& argv) {
  pid_ = spawn(argv, &out_, &err_);
  if (pid_ < 0) {
    ended_ = true;
    result_.errors = "cannot start " + (argv.empty() ? std::string("(nothing)") : argv[0]);
  }
}

BackgroundProgram::~BackgroundProgram() {
  if (!ended_) finish(0);
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

// Reads what is there (waiting up to timeoutMs for something) and notes the end.
void BackgroundProgram::drain(int timeoutMs) {
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  if (poll(fds, 2, timeoutMs) <= 0) return;
  char buffer[4096];
  for (int k = 0; k < 2; ++k) {
    if (!(fds[k].revents & (POLLIN | POLLHUP))) continue;
    ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
    if (n > 0) (k == 0 ? output_ : errors_).append(buffer, size_t(n));
  }
}

bool BackgroundProgram::waitForOutput(const std::string& text, int timeoutMs) {
  int64_t deadline = nowMs() + timeoutMs;
  while (output_.find(text) == std::string::npos) {
    int status;
    if (ended_ || waitpid(pid_, &status, WNOHANG) == pid_) {
      if (!ended_) {
        ended_ = true;
        result_ = resultOf(status);
      }
      drain(0);
      return output_.find(text) != std::string::npos;
    }
    int64_t left = deadline - nowMs();
    if (left <= 0) return false;
    drain(int(left < 100 ? left : 100));
  }
  return true;
}

void BackgroundProgram::kill(int signal) {
  if (!ended_ && pid_ > 0) ::kill(pid_, signal);
}

ProgramResult BackgroundProgram::finish(int timeoutMs) {
  int64_t deadline = nowMs() + timeoutMs;
  while (!ended_) {
    int status;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      ended_ = true;
      ProgramResult ended = resultOf(status);
      ended.timedOut = result_.timedOut;
      result_ = ended;
      break;
    }
    if (nowMs() >= deadline && !result_.timedOut) {
      result_.timedOut = true;
      ::kill(pid_, SIGKILL);
    }
    drain(20);
  }
  // Whatever is still in the pipes (a grandchild may hold them open: do not wait for it).
  for (int k = 0; k < 50; ++k) {
    size_t before = output_.size() + errors_.size();
    drain(10);
    if (output_.size() + errors_.size() == before) break;
  }
  result_.output = output_;
  result_.errors = errors_;
  return result_;
}

ProgramResult runProgram(const std::vector<std::string>& argv, int timeoutMs) {
  BackgroundProgram program(argv);
  return program.finish(timeoutMs);
}

CardDaemon::CardDaemon(const std::vector<std::string>& options) {
  std::string base = getenv("TMPDIR") && *getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp";
  std::string pattern = base + "/vexa-card-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    error_ = "cannot make a temporary folder";
    return;
  }
  folder_ = pattern;
  socket_ = folder_ + "/card";
  if (const char* card = getenv("VEXA_CARD")) hadCard_ = true, previousCard_ = card;
  if (const char* daemon = getenv("VEXA_TXVVD")) hadDaemon_ = true, previousDaemon_ = daemon;
  setenv("VEXA_CARD", socket_.c_str(), 1);
  // A test must never reach another card: had this one died, opening the device fails
  // instead of starting a default daemon on the test's socket.
  setenv("VEXA_TXVVD", (folder_ + "/no-txvvd").c_str(), 1);

  std::vector<std::string> argv = {binPath("txvvd"), "--socket", socket_};
  argv.insert(argv.end(), options.begin(), options.end());
  std::string log = folder_ + "/txvvd.log";
  int logFd = open(log.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0600);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (logFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, logFd, 1);
    posix_spawn_file_actions_adddup2(&actions, logFd, 2);
  }
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (logFd >= 0) close(logFd);
  if (spawned != 0) {
    error_ = "cannot start " + argv[0] + ": " + strerror(spawned);
    return;
  }
  // Ready once it prints its first line (it listens by then), or failed once it ends.
  int64_t deadline = nowMs() + 20000;
  for (;;) {
    int status;
    std::string text;
    if (FILE* file = fopen(log.c_str(), "r")) {
      char buffer[4096];
      size_t n = fread(buffer, 1, sizeof buffer, file);
      text.assign(buffer, n);
      fclose(file);
    }
    if (text.find("serving") != std::string::npos) {
      pid_ = pid;
      return;
    }
    if (waitpid(pid, &status, WNOHANG) == pid) {
      error_ = "txvvd did not start: " + text;
      return;
    }
    if (nowMs() > deadline) {
      ::kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      error_ = "txvvd did not start within 20 s: " + text;
      return;
    }
    usleep(10000);
  }
}

bool CardDaemon::stop() {
  if (pid_ <= 0) return false;
  ::kill(pid_, SIGTERM);
  int status = 0;
  int64_t deadline = nowMs() + 10000;
  while (waitpid(pid_, &status, WNOHANG) != pid_) {
    if (nowMs() > deadline) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      pid_ = -1;
      return false;
    }
    usleep(5000);
  }
  pid_ = -1;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

CardDaemon::~CardDaemon() {
  bool started = pid_ > 0;
  bool clean = stop();
  // A sanitizer's report from the daemon fails the test that ran it; an unclean end is shown.
  std::string text = started ? log() : std::string();
  if (text.find("Sanitizer") != std::string::npos || text.find("runtime error:") != std::string::npos)
    ADD_FAILURE() << "txvvd reported:\n" << text;
  else if (started && !clean)
    fprintf(stderr, "txvvd did not end cleanly; its output:\n%s\n", text.c_str());
  setOrUnset("VEXA_CARD", hadCard_, previousCard_);
  setOrUnset("VEXA_TXVVD", hadDaemon_, previousDaemon_);
  if (!folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
}

std::string CardDaemon::log() const {
  std::string text;
  if (FILE* file = fopen((folder_ + "/txvvd.log").c_str(), "r")) {
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    fclose(file);
  }
  return text;
}

std::string CardDaemon::status() const {
  return runProgram({binPath("txvvd"), "--status", "--socket", socket_}, 20000).output;
}

}  // namespace vexa::testing
