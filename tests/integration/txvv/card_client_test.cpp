// The platform's card client against a daemon that misbehaves: one of another user, and one
// whose meter notifications claim blocks far larger than its memory. A stand-in daemon runs in
// a child process and answers just enough of the protocol.
#include "card_test_support.h"

#include "../../../txvv/wire/meter_region.h"
#include "../../../txvv/wire/txvv_wire.h"

#include <meter_records.h>
#include <private_registry.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>

namespace {

namespace wire = txvv::wire;

constexpr uint32_t kSession = 7;

// The stand-in daemon. Its meter start sends the block memory and a notification of
// `firstCount` samples, and, once that one is acknowledged in the memory, one of 16.
class FakeCard {
public:
  FakeCard(uid_t user, int32_t firstCount) {
    folder_ = std::filesystem::temp_directory_path() / "vexa-fake-card-XXXXXX";
    if (!mkdtemp(folder_.data())) return;
    chmod(folder_.c_str(), 0777);  // the stand-in may run as another user
    socket_ = folder_ + "/card";
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(ready[0]);
      serve(user, firstCount, ready[1]);
      _exit(0);
    }
    close(ready[1]);
    char byte = 0;
    listening_ = read(ready[0], &byte, 1) == 1 && byte == 'r';
    close(ready[0]);
    setenv("VEXA_CARD", socket_.c_str(), 1);
    setenv("VEXA_TXVVD", (folder_ + "/no-txvvd").c_str(), 1);
  }
  ~FakeCard() {
    unsetenv("VEXA_CARD");
    unsetenv("VEXA_TXVVD");
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  bool listening() const { return listening_; }

private:
  // In the forked child: system calls only.
  void serve(uid_t user, int32_t firstCount, int ready) {
    if (user != getuid() && (setgroups(0, nullptr) != 0 || setgid(user) != 0 || setuid(user) != 0))
      _exit(1);
    int listener = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0)
      _exit(1);
    int memory = memfd_create("fake-meter", MFD_CLOEXEC);
    const uint32_t size = wire::kMeterBlocksOffset + 4096;
    if (memory < 0 || ftruncate(memory, size) != 0) _exit(1);
    auto* head = static_cast<wire::MeterRegionHead*>(
        mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, memory, 0));
    if (write(ready, "r", 1) != 1) _exit(1);

    pollfd fds[16] = {{listener, POLLIN, 0}};
    int count = 1, events = -1;
    bool awaitingAcknowledgement = false;
    for (;;) {
      poll(fds, nfds_t(count), 20);
      if (awaitingAcknowledgement && head->acknowledged.load() >= 1) {
        awaitingAcknowledgement = false;
        notify(events, 1, 16);
      }
      if ((fds[0].revents & POLLIN) && count < 16)
        fds[count++] = {accept4(listener, nullptr, nullptr, SOCK_CLOEXEC), POLLIN, 0};
      for (int i = 1; i < count; ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP))) continue;
        uint8_t buffer[wire::kMaxMessage];
        ssize_t n = recv(fds[i].fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
          close(fds[i].fd);
          fds[i--] = fds[--count];
          continue;
        }
        uint32_t head3[3] = {};
        memcpy(head3, buffer, sizeof head3);
        if (head3[1] == wire::kHello) {
          wire::Welcome welcome{wire::kMagic, wire::kWelcome, 1, 1, 42, 0, 0};
          if (head3[2] == wire::kEvents) events = fds[i].fd;
          send(fds[i].fd, &welcome, sizeof welcome, MSG_NOSIGNAL);
        } else if (head3[1] == wire::kRequest) {
          wire::ReplyHeader reply{wire::kMagic, wire::kReply, 1, 0, 0, 0, 0, 0, 0, 0};
          if (head3[2] == IOCTL_LLVA_START) reply.session = kSession;
          send(fds[i].fd, &reply, sizeof reply, MSG_NOSIGNAL);
          if (head3[2] == IOCTL_LLVA_START && events >= 0) {
            wire::RegionMessage region{wire::kMagic, wire::kRegion, wire::kMeterRegion, 1, size, 0};
            sendWithDescriptor(events, &region, sizeof region, memory);
            notify(events, 0, firstCount);
            awaitingAcknowledgement = true;
          }
        }
      }
    }
  }
  static void notify(int events, uint32_t slot, int32_t count) {
    wire::NotificationMessage note{wire::kMagic, wire::kNotification, kSession, 1, slot,
                                   wire::kMeterBlocksOffset, wire::kMeterBlocksOffset + 64, count};
    send(events, &note, sizeof note, MSG_NOSIGNAL);
  }
  static void sendWithDescriptor(int fd, const void* data, size_t size, int passed) {
    iovec io{const_cast<void*>(data), size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    memcpy(CMSG_DATA(c), &passed, sizeof passed);
    sendmsg(fd, &message, MSG_NOSIGNAL);
  }

  std::string folder_, socket_;
  pid_t pid_ = -1;
  bool listening_ = false;
};

std::mutex countsLock;
std::vector<LONG> counts;

DWORD WINAPI onNotification(MeterNotification* record) {
  std::lock_guard<std::mutex> hold(countsLock);
  counts.push_back(record->count);
  return 0;
}

size_t notificationsSeen() {
  std::lock_guard<std::mutex> hold(countsLock);
  return counts.size();
}

}  // namespace

TEST(CardClient, ADaemonOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "running a daemon as another user needs root";
  vexa::testing::PrivateRegistry registry;
  FakeCard fake(65534, 16);
  ASSERT_TRUE(fake.listening());
  EXPECT_EQ(openCard(), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST(CardClient, AMeterNotificationBeyondItsMemoryIsDroppedAndAcknowledged) {
  vexa::testing::PrivateRegistry registry;
  FakeCard fake(getuid(), (1 << 30) + 16);  // times 4 it wraps to 64 bytes in 32 bits
  ASSERT_TRUE(fake.listening());
  HANDLE meter = openCard();
  ASSERT_NE(meter, INVALID_HANDLE_VALUE);
  MeterStartRecord start{DWORD(reinterpret_cast<uintptr_t>(&onNotification)), 1};
  ASSERT_TRUE(request(meter, IOCTL_LLVA_START, &start, sizeof start));
  for (int i = 0; i < 400 && notificationsSeen() < 1; ++i) SleepEx(50, TRUE);
  for (int i = 0; i < 4; ++i) SleepEx(50, TRUE);  // time for another, which must not come
  std::lock_guard<std::mutex> hold(countsLock);
  EXPECT_EQ(counts, std::vector<LONG>{16})
      << "the routine saw only the block that fits, which came once the other was acknowledged";
  CloseHandle(meter);
}
