// One stream owner at a time, across processes: a closed handle or a dead process releases it.
#include "card_fixture.h"
#include "card_test_support.h"

#include <signal.h>

#include <chrono>
#include <thread>

using vexa::testing::BackgroundProgram;
using vexa::testing::CardDaemon;

namespace {

std::string claimer() { return vexa::testing::binDir() + "/../tests/txvv_stream_claimer"; }

// The daemon notices a closed connection at once, but give a loaded machine time.
OpenResult openEventually(DeviceLink& link) {
  OpenResult result = InUse;
  for (int attempt = 0; attempt < 100 && result == InUse; ++attempt) {
    link.close();
    result = link.open(64);
    if (result == InUse) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return result;
}

}  // namespace

TEST(CardClaim, AnotherProcessHoldsTheStreamUntilItIsKilled) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  BackgroundProgram holder({claimer()});
  ASSERT_TRUE(holder.waitForOutput("claimed")) << holder.finish(0).errors;

  DeviceLink link;
  EXPECT_EQ(link.open(64), InUse);
  EXPECT_NE(card.status().find("stream: owned by handle"), std::string::npos);
  holder.kill(SIGKILL);
  holder.finish();
  EXPECT_EQ(openEventually(link), Ok);
}

TEST(CardClaim, AnotherProcessReleasesTheStreamByClosingItsHandle) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  BackgroundProgram holder({claimer(), "release"});
  ASSERT_TRUE(holder.waitForOutput("claimed"));
  DeviceLink link;
  EXPECT_EQ(link.open(64), InUse);
  ASSERT_TRUE(holder.waitForOutput("released"));
  EXPECT_EQ(openEventually(link), Ok);
  // Now this process holds it, and the other one is refused.
  BackgroundProgram second({claimer()});
  EXPECT_TRUE(second.waitForOutput("in use"));
}

TEST(CardClaim, SecondHandleInTheSameProcessIsRefusedAndOnlyTheOwnerStreams) {
  CardDaemon card;
  ASSERT_TRUE(card.started()) << card.error();
  DeviceLink first, second;
  ASSERT_EQ(first.open(64), Ok);
  EXPECT_EQ(second.open(64), InUse);
  EXPECT_FALSE(request(second.handle, IOCTL_VV_START)) << "only the owner starts the stream";
  DWORD bytes = 64 * 4;
  StreamConfig config{};
  EXPECT_FALSE(request(second.handle, IOCTL_VV_SET_BUFFERS, &bytes, 4, &config, sizeof config));
  first.close();
  EXPECT_EQ(openEventually(second), Ok);
}

TEST(CardClaim, FaultOptionsRefuseTheClaimOrAnswerAnotherVersion) {
  {
    CardDaemon card({"--refuse-stream"});
    ASSERT_TRUE(card.started()) << card.error();
    DeviceLink link;
    EXPECT_EQ(link.open(64), InUse);
  }
  {
    CardDaemon card({"--empty-stream"});
    ASSERT_TRUE(card.started()) << card.error();
    DeviceLink link;
    EXPECT_EQ(link.open(64), InUse);
  }
  {
    CardDaemon card({"--version-word", "1"});
    ASSERT_TRUE(card.started()) << card.error();
    DeviceLink link;
    EXPECT_EQ(link.open(64), VersionMismatch);
  }
  {
    CardDaemon card({"--refuse", "0x220058,0x2200A4"});
    ASSERT_TRUE(card.started()) << card.error();
    DeviceLink link;
    ASSERT_EQ(link.open(64), Ok);
    EXPECT_FALSE(request(link.handle, IOCTL_VV_START));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_GEN_FAILURE));
    EXPECT_TRUE(request(link.handle, IOCTL_VV_STOP));
  }
}
