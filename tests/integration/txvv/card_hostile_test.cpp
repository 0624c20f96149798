// The card against hostile, dying and stuck clients: none of them takes the card away from the
// others. Descriptors passed to it, replies left unread, crowds beyond its descriptor limit,
// connections that never say hello, a socket path that names someone's file.
#include "card_fixture.h"
#include "card_test_support.h"
#include "raw_channel.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

using vexa::testing::CardDaemon;

namespace {

namespace wire = txvv::wire;

size_t openDescriptors(pid_t pid) {
  size_t count = 0;
  if (DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str())) {
    while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
    closedir(dir);
  }
  return count;
}

// Ended, without reaping it (the fixture does that).
bool ended(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
}

// The daemon notices a closed connection at once; give a loaded machine time.
template <typename Condition>
bool eventually(Condition condition) {
  for (int attempt = 0; attempt < 400; ++attempt) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool versionAnswered(HANDLE handle) {
  DWORD version = 1, bytes = 0;
  return request(handle, IOCTL_VV_GET_VERSION, nullptr, 0, &version, 4, &bytes) && bytes == 4;
}

}  // namespace

TEST(CardHostile, AClientThatHangsUpWithAReplyUnreadCostsNoOtherClientItsConnection) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  {
    // Descriptors are no client's to pass: the channel goes, and the numbers they had in the
    // daemon go to the connections that follow.
    RawChannel passer(card.socketPath());
    int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    wire::Hello hello{wire::kMagic, wire::kHello, wire::kPrimary, 0, 0};
    ASSERT_TRUE(passer.send(&hello, sizeof hello, {null, null, null, null}));
    close(null);
    EXPECT_TRUE(passer.hangsUp());
  }
  std::vector<HANDLE> others;
  for (int i = 0; i < 4; ++i) {
    others.push_back(openCard());
    ASSERT_NE(others.back(), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(versionAnswered(others.back()));
  }
  DeviceLink owner;
  ASSERT_EQ(owner.open(64), Ok);

  for (int round = 0; round < 3; ++round) {
    RawChannel rude(card.socketPath());
    ASSERT_TRUE(rude.hello(wire::kPrimary));
    ASSERT_TRUE(rude.request(IOCTL_VV_GET_VERSION, 4));
    pollfd reply{rude.fd(), POLLIN, 0};
    ASSERT_EQ(poll(&reply, 1, 20000), 1);
    rude.hangUp();  // with the reply unread: the daemon's next receive fails
  }
  EXPECT_TRUE(eventually([&] { return card.status().find("clients: 5") != std::string::npos; }))
      << card.status();
  for (HANDLE handle : others) EXPECT_TRUE(versionAnswered(handle));
  DWORD position[2];
  EXPECT_TRUE(request(owner.handle, IOCTL_VV_GET_POSITION, nullptr, 0, position, 8));

  // The owner goes, and the stream with it.
  owner.close();
  DeviceLink next;
  EXPECT_TRUE(eventually([&] {
    next.close();
    return next.open(64) == Ok;
  }));
  for (HANDLE handle : others) CloseHandle(handle);
}

TEST(CardHostile, AtItsDescriptorLimitTheCardRefusesNewcomersServesTheRestAndEndsOnRequest) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  HANDLE keeper = openCard();
  ASSERT_NE(keeper, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(versionAnswered(keeper));
  rlim_t limit = openDescriptors(card.pid()) + 8;
  rlimit lowered{limit, limit};
  ASSERT_EQ(prlimit(card.pid(), RLIMIT_NOFILE, &lowered, nullptr), 0);

  // Primaries until a few in a row are refused.
  auto crowd = [&](std::vector<RawChannel>& channels, size_t* welcomed) {
    *welcomed = 0;
    for (int refusals = 0; refusals < 5 && channels.size() < 40;) {
      channels.emplace_back(card.socketPath());
      bool served = channels.back().hello(wire::kPrimary, 0, 5000);
      *welcomed += served;
      refusals = served ? 0 : refusals + 1;
    }
  };
  std::vector<RawChannel> channels;
  size_t welcomed;
  crowd(channels, &welcomed);
  EXPECT_GT(welcomed, 0u);
  EXPECT_LE(welcomed, 10u) << "refused beyond the limit";
  EXPECT_NE(card.log().find("out of file descriptors"), std::string::npos) << card.log();
  EXPECT_TRUE(versionAnswered(keeper)) << "the handles it has are served";

  // Those who left are cleaned up, and newcomers are served again.
  channels.clear();
  HANDLE newcomer = INVALID_HANDLE_VALUE;
  EXPECT_TRUE(eventually([&] { return (newcomer = openCard()) != INVALID_HANDLE_VALUE; }));
  EXPECT_TRUE(versionAnswered(newcomer));
  CloseHandle(newcomer);

  // At the limit again, a stop request still ends it at once and cleanly.
  crowd(channels, &welcomed);
  EXPECT_TRUE(card.stop()) << card.log();
  CloseHandle(keeper);
}

TEST(CardHostile, SilentConnectionsAreClosedAndStatusQueriesDoNotKeepTheCard) {
  {
    CardDaemon card;
    ASSERT_TRUE(card.started()) << card.error();
    RawChannel silent(card.socketPath());
    ASSERT_TRUE(silent.connected());
    EXPECT_TRUE(silent.hangsUp(30000)) << "a connection that never says hello is closed";
  }
  CardDaemon card({"--linger", "1000"});
  ASSERT_TRUE(card.started()) << card.error();
  EXPECT_TRUE(eventually([&] {
    card.status();
    return ended(card.pid());
  })) << "only handles keep a lingering card";
}

TEST(CardHostile, TheSocketOptionLeavesAnyFileButAStaleSocketAlone) {
  CardDaemon card;  // for its private folder
  ASSERT_TRUE(card.started()) << card.error();
  std::string precious = card.folder() + "/precious";
  std::ofstream(precious) << "someone's data";
  std::string link = card.folder() + "/link";
  ASSERT_EQ(symlink(precious.c_str(), link.c_str()), 0);
  for (const std::string& path : {precious, link}) {
    auto refused =
        vexa::testing::runProgram({vexa::testing::binPath("txvvd"), "--socket", path}, 10000);
    EXPECT_EQ(refused.exitCode, 1) << path;
    EXPECT_NE(refused.errors.find("left as it is"), std::string::npos) << refused.errors;
    struct stat info {};
    EXPECT_EQ(lstat((path + ".lock").c_str(), &info), -1) << "no lock file beside it";
  }
  std::ifstream kept(precious);
  std::string text;
  std::getline(kept, text);
  EXPECT_EQ(text, "someone's data");

  // A socket nobody answers on is what a daemon that died leaves: it is taken over.
  std::string stale = card.folder() + "/stale";
  {
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, stale.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    close(fd);
  }
  vexa::testing::BackgroundProgram daemon({vexa::testing::binPath("txvvd"), "--socket", stale});
  EXPECT_TRUE(daemon.waitForOutput("serving"));
  daemon.kill(SIGTERM);
  EXPECT_EQ(daemon.finish().exitCode, 0);
}
