// The half-buffer wait as a counted event per handle, as a streaming client meets it: owed
// halves across handles and starts, a wait left with no daemon, and the socket's wait when the
// card refuses the request.
#include "card_fixture.h"
#include "card_test_support.h"

#include <signal.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <thread>

using vexa::testing::CardDaemon;

namespace {

// Waits on its own thread; tells whether the wait is still blocked after a while.
class BlockedWait {
public:
  explicit BlockedWait(HANDLE handle)
      : thread_([this, handle] {
          DWORD words[2];
          DWORD bytes = 0;
          ok_ = request(handle, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, words, sizeof words, &bytes);
          error_ = GetLastError();
          done_ = true;
        }) {}
  ~BlockedWait() {
    if (thread_.joinable()) thread_.join();
  }
  bool stillBlockedAfter(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return !done_;
  }
  // Joins, at most `seconds` (the test fails rather than hangs); the wait's result.
  bool finish(int seconds, DWORD* error) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done_ && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!done_) return false;
    thread_.join();
    *error = error_;
    return ok_;
  }
  bool done() const { return done_; }

private:
  std::atomic<bool> done_{false};
  bool ok_ = false;
  DWORD error_ = 0;
  std::thread thread_;
};

DWORD completedHalves(DeviceLink& link) { return link.status()->completedHalves; }

}  // namespace

TEST(CardWait, EveryHalfSinceTheStartWakesEachHandleOnceLateOrNot) {
  CardDaemon card({"--rate", "48000"});
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink link;
  ASSERT_EQ(link.open(64), Ok);
  HANDLE other = openCard();
  ASSERT_NE(other, INVALID_HANDLE_VALUE);

  // Halves complete while nobody waits; stopped, the count stands still.
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  ASSERT_TRUE(request(link.handle, IOCTL_VV_STOP));
  DWORD owed = completedHalves(link);
  ASSERT_GT(owed, 2u);
  for (HANDLE each : {other, link.handle}) {
    for (DWORD n = 0; n < owed; ++n) ASSERT_TRUE(waitHalf(each).ok) << "half " << n;
    BlockedWait next(each);
    EXPECT_TRUE(next.stillBlockedAfter(200)) << "one wake per half, and no more";
    if (each == other)
      CloseHandle(other);  // ends the blocked wait
    else
      ASSERT_TRUE(request(link.handle, IOCTL_VV_START));  // a new half ends it
    DWORD error = 0;
    bool ok = next.finish(10, &error);
    EXPECT_EQ(ok, each == link.handle);
  }

  // A start forgets what the last run owed: only halves of the new run wake.
  ASSERT_TRUE(request(link.handle, IOCTL_VV_STOP));
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  ASSERT_TRUE(request(link.handle, IOCTL_VV_STOP));
  DWORD afterRestart = completedHalves(link);
  for (DWORD n = 0; n < afterRestart; ++n) ASSERT_TRUE(waitHalf(link.handle).ok);
  BlockedWait next(link.handle);
  EXPECT_TRUE(next.stillBlockedAfter(200));
  link.close();
  DWORD error = 0;
  EXPECT_FALSE(next.finish(10, &error));
}

TEST(CardWait, AWaitFailsWhenTheCardGoesAway) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  HANDLE handle = openCard();
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  BlockedWait wait(handle);  // no stream: no half will come
  ASSERT_TRUE(wait.stillBlockedAfter(200));
  ::kill(card.pid(), SIGKILL);
  DWORD error = 0;
  EXPECT_FALSE(wait.finish(10, &error)) << "the wait returned, and with failure";
  EXPECT_TRUE(wait.done());
  EXPECT_EQ(error, DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_FALSE(waitHalf(handle).ok);
  CloseHandle(handle);
}

TEST(CardWait, ARefusedWaitIsRefusedOnEveryCall) {
  char code[16];
  snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(IOCTL_VV_WAIT_HALF_BUFFER));
  CardDaemon card({"--refuse", code});
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink link;
  ASSERT_EQ(link.open(64), Ok);
  ASSERT_TRUE(request(link.handle, IOCTL_VV_START));
  for (int n = 0; n < 3; ++n) {
    EXPECT_FALSE(waitHalf(link.handle).ok);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));
  }
  DWORD words[2];
  EXPECT_FALSE(request(link.handle, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, words, 4));
}
