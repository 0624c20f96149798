// Starting the card: on demand when none answers, and not at all without a txvvd binary.
#include "card_fixture.h"
#include "card_test_support.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

// Points the platform at a card socket of the test's own for the test's lifetime.
class SocketEnvironment {
public:
  SocketEnvironment(const std::string& socket, const std::string& daemon) {
    setenv("VEXA_CARD", socket.c_str(), 1);
    setenv("VEXA_TXVVD", daemon.c_str(), 1);
  }
  ~SocketEnvironment() {
    unsetenv("VEXA_CARD");
    unsetenv("VEXA_TXVVD");
  }
};

bool exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

}  // namespace

TEST(CardDaemonStart, OpeningStartsTheDaemonWhichEndsAfterItsLastHandle) {
  vexa::testing::PrivateRegistry registry;
  std::string folder = std::filesystem::temp_directory_path() / "vexa-on-demand-XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  std::string socket = folder + "/card";
  {
    SocketEnvironment environment(socket, vexa::testing::binPath("txvvd"));
    HANDLE handle = openCard();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(exists(socket));
    struct stat info {};
    ASSERT_EQ(stat(socket.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "only this user may open the card";
    DWORD version = 1, bytes = 0;
    EXPECT_TRUE(request(handle, IOCTL_VV_GET_VERSION, nullptr, 0, &version, 4, &bytes));
    EXPECT_EQ(version, 0u);
    HANDLE second = openCard();  // the same daemon serves the second handle
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    auto status = vexa::testing::runProgram({vexa::testing::binPath("txvvd"), "--status"});
    EXPECT_NE(status.output.find("clients: 2"), std::string::npos) << status.output;
    CloseHandle(second);
    CloseHandle(handle);
  }
  // It lingers a few seconds, then goes and takes its socket with it.
  for (int i = 0; i < 300 && exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(exists(socket));
  std::filesystem::remove_all(folder);
}

TEST(CardDaemonStart, WithoutTheDaemonBinaryTheOpenFails) {
  vexa::testing::PrivateRegistry registry;
  std::string folder = std::filesystem::temp_directory_path() / "vexa-missing-XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  {
    SocketEnvironment environment(folder + "/card", folder + "/no-such-txvvd");
    EXPECT_EQ(openCard(), INVALID_HANDLE_VALUE);
    DeviceLink link;
    EXPECT_EQ(link.open(64), NotAvailable);
  }
  std::filesystem::remove_all(folder);
}

TEST(CardDaemonStart, OneDaemonPerSocketAndBadOptionsAreRefusedClearly) {
  vexa::testing::CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  auto second = vexa::testing::runProgram({vexa::testing::binPath("txvvd"), "--socket", card.socketPath()});
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.errors.find("already serves"), std::string::npos) << second.errors;
  auto bad = vexa::testing::runProgram({vexa::testing::binPath("txvvd"), "--signal", "9=sine"});
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.errors.find("input 9"), std::string::npos) << bad.errors;
  auto help = vexa::testing::runProgram({vexa::testing::binPath("txvvd"), "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.output.find("--sample-count-start"), std::string::npos);
  EXPECT_NE(card.status().find("stream: free"), std::string::npos);
}
