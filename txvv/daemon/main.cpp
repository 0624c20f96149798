// txvvd: the simulated Vexa card and its TX_VV driver, serving every process of this user.
#include "clock_thread.h"
#include "daemon_options.h"
#include "socket_server.h"
#include "status_client.h"

#include "../wire/socket_path.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace txvv;

namespace {

// --on-demand: the parent returns once the child listens (or found another daemon serving
// the socket), so the process that started it can connect at once.
bool detach(int* readyFd) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  pid_t child = fork();
  if (child < 0) return false;
  if (child > 0) {
    close(pipeFds[1]);
    char ready = 0;
    ssize_t n = read(pipeFds[0], &ready, 1);
    waitpid(child, nullptr, WNOHANG);
    _exit(n == 1 && ready == 'r' ? 0 : 1);
  }
  close(pipeFds[0]);
  setsid();
  *readyFd = pipeFds[1];
  return true;
}

void quieten() {
  int null = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null < 0) return;
  dup2(null, 0);
  dup2(null, 1);
  dup2(null, 2);
  close(null);
}

}  // namespace

int main(int argc, char** argv) {
  DaemonOptions options;
  std::string error;
  if (!parseDaemonOptions(argc, argv, &options, &error)) {
    fprintf(stderr, "txvvd: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    fputs(daemonUsage(), stdout);
    return 0;
  }
  std::string path = options.socketPath;
  if (path.empty()) path = wire::cardSocketPath(true, &error);
  if (path.empty()) {
    fprintf(stderr, "txvvd: %s\n", error.c_str());
    return 1;
  }
  if (options.status) return printStatus(path);

  // Started by a client process: whatever it had open is none of the daemon's business.
  if (options.onDemand) close_range(3, ~0u, 0);
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  int readyFd = -1;
  if (options.onDemand && !detach(&readyFd)) {
    fprintf(stderr, "txvvd: cannot start in the background\n");
    return 1;
  }
  auto ready = [&](bool ok) {
    if (readyFd < 0) return;
    char byte = ok ? 'r' : 'x';
    if (write(readyFd, &byte, 1) != 1) {
      // The parent has gone; nothing waits for us.
    }
    close(readyFd);
    readyFd = -1;
  };

  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);

  SocketServer server(path);
  CardService service(options.card, server);
  if (!service.prepare(&error)) {
    fprintf(stderr, "txvvd: %s\n", error.c_str());
    ready(false);
    return 1;
  }
  int listening = server.listen(&error);
  if (listening != 0) {
    if (listening > 0) {
      // Another daemon serves this socket: on demand that is as good as starting one.
      ready(true);
      if (options.onDemand) return 0;
      fprintf(stderr, "txvvd: another txvvd already serves %s\n", path.c_str());
      return 1;
    }
    fprintf(stderr, "txvvd: %s\n", error.c_str());
    ready(false);
    return 1;
  }

  ClockThread clock(service);
  std::string priority = clock.start(options.card.rtPriority);
  // A wait request must be parked before the next half completes: the thread that reads
  // requests runs just below the clock.
  if (options.card.rtPriority > 1) {
    sched_param param{};
    param.sched_priority = options.card.rtPriority - 1;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  }
  service.setClockPriority(priority);
  if (options.onDemand) {
    quieten();
  } else {
    printf("txvvd: serving %s, clock thread %s\n", path.c_str(), priority.c_str());
    fflush(stdout);
  }
  ready(true);

  server.run(service, signalFd, options.lingerMs);

  server.removeSocket();
  clock.stop();
  service.shutdown();
  return 0;
}
