// Both drivers, loaded as modules and streaming on the simulated card, driven by hosts that
// misbehave the way real ones do under load: callbacks that overrun their half by several
// periods, stop and release from another thread meanwhile, release and close from inside a
// callback, and a callback blocked on a lock the releasing thread holds. Each must return,
// call nothing after it returned, crash nothing, and keep the module loaded while its thread
// still runs in it.
#include <gtest/gtest.h>

#include <card_fixture.h>

#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#if __has_include(<valgrind/helgrind.h>)
#include <valgrind/helgrind.h>
#else
#define VALGRIND_HG_DISABLE_CHECKING(address, size)
#endif

#include "aggregating_host.h"
#include "device_records.h"
#include "driver_identity.h"
#include "iasio.h"

namespace {

using namespace std::chrono_literals;
using vexa::testing::binPath;

typedef HRESULT(STDAPICALLTYPE* GetClassObjectFn)(REFCLSID, REFIID, void**);
typedef HRESULT(STDAPICALLTYPE* CanUnloadNowFn)();

// Bounds for a loaded 2-core machine: far above what a correct driver needs (a few halves of
// 5.8 ms), far below what a hung one takes.
constexpr auto kReturnBound = 3s;
constexpr auto kSettleBound = 10s;

template <typename F>
F entryPoint(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool eventually(const std::function<bool()>& condition) {
  auto deadline = std::chrono::steady_clock::now() + kSettleBound;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

// What a host callback does besides being counted.
struct Behaviour {
  std::atomic<int> sleepMs{0};
  std::mutex onceLock;
  std::function<void()> once;  // run inside the next callback, then dropped
  std::atomic<std::mutex*> blockOn{nullptr};  // taken and let go inside every callback when set
  std::atomic<int> calls{0};
  std::atomic<int> inside{0};

  Behaviour() {
    // Counters and settings both threads touch on purpose, as atomics.
    VALGRIND_HG_DISABLE_CHECKING(this, sizeof *this);
  }

  void arm(std::function<void()> action) {
    std::lock_guard<std::mutex> hold(onceLock);
    once = std::move(action);
  }

  void callback() {
    calls++;
    inside++;
    std::function<void()> now;
    {
      std::lock_guard<std::mutex> hold(onceLock);
      now.swap(once);
    }
    if (now) now();
    if (std::mutex* lock = blockOn.load()) {
      lock->lock();
      lock->unlock();
    }
    if (int ms = sleepMs.load()) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    inside--;
  }
};

// Runs `call` on another thread while callbacks go on; counts the callbacks that started
// between the call and its return, and after it.
struct CallFromAnotherThread {
  int startedDuring = -1;
  int startedAfter = -1;
  bool returned = false;

  CallFromAnotherThread(Behaviour& host, const std::function<void()>& call) {
    std::atomic<int> before{0}, atReturn{0};
    auto done = std::async(std::launch::async, [&] {
      before = host.calls.load();
      call();
      atReturn = host.calls.load();
    });
    returned = done.wait_for(kSettleBound) == std::future_status::ready;
    if (!returned) return;
    // A callback that was under way when the call came, or had just passed its last look for a
    // waiting call, is the one a call may wait for.
    startedDuring = atReturn - before;
    std::this_thread::sleep_for(100ms);
    startedAfter = host.calls.load() - atReturn;
  }
};

struct HostileHostTest : ::testing::Test {
  // 44100 Hz with 256-frame halves: 5.8 ms a half.
  vexa::testing::CardDaemon card{{"--rate", "44100"}};
  Behaviour host;
  // Loaded for the rest of the process: a test's stuck thread may still be in it.
  HMODULE module = nullptr;

  void SetUp() override { ASSERT_TRUE(card.started()) << card.error(); }

  // Every callback from now on waits for `lock`, which this thread holds; returns once one does.
  bool blockCallbacksOn(std::mutex& lock) {
    lock.lock();
    host.blockOn = &lock;
    return eventually([&] { return host.inside.load() == 1; });
  }

  void load(const char* name) {
    module = LoadLibraryA(binPath(name).c_str());
    ASSERT_NE(module, nullptr) << name;
  }
  HRESULT canUnloadNow() { return entryPoint<CanUnloadNowFn>(module, "DllCanUnloadNow")(); }
};

// --- ASIO ------------------------------------------------------------------------------------

Behaviour* asioHost = nullptr;
std::mutex rateChangeLock;
std::function<void()> rateChangeOnce;
void bufferSwitch(long, ASIOBool) { asioHost->callback(); }
ASIOTime* bufferSwitchTimeInfo(ASIOTime*, long, ASIOBool) {
  asioHost->callback();
  return nullptr;
}
void sampleRateDidChange(ASIOSampleRate) {
  std::function<void()> now;
  {
    std::lock_guard<std::mutex> hold(rateChangeLock);
    now.swap(rateChangeOnce);
  }
  if (now) now();
}
long asioMessage(long, long, void*, double*) { return 0; }

struct AsioHostileTest : HostileHostTest {
  IASIO* driver = nullptr;
  ASIOBufferInfo buffers[2] = {{ASIOTrue, 0, {}}, {ASIOFalse, 0, {}}};
  ASIOCallbacks callbacks{&bufferSwitch, &sampleRateDidChange, &asioMessage,
                          &bufferSwitchTimeInfo};

  void SetUp() override {
    VALGRIND_HG_DISABLE_CHECKING(&released, sizeof released);
    HostileHostTest::SetUp();
    asioHost = &host;
    load("tx_va.so");
    IClassFactory* factory = nullptr;
    ASSERT_EQ(entryPoint<GetClassObjectFn>(module, "DllGetClassObject")(
                  CLSID_TxAsioDriver, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, CLSID_TxAsioDriver,
                                      reinterpret_cast<void**>(&driver)),
              S_OK);
    factory->Release();
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASSERT_EQ(driver->createBuffers(buffers, 2, 256, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(eventually([&] { return host.calls.load() >= 3; }));
  }

  std::atomic<bool> released{false};

  void releaseDriver() {
    if (!released.exchange(true)) driver->Release();
  }

  void TearDown() override {
    releaseDriver();
    // Whatever the test did, the thread ends and the module may go.
    EXPECT_TRUE(eventually([&] { return canUnloadNow() == S_OK; }));
  }
};

TEST_F(AsioHostileTest, HostCallsFromAnotherThreadWaitForOneCallbackWhileCallbacksOverrun) {
  host.sleepMs = 20;  // more than three halves
  ASSERT_TRUE(eventually([&] { return host.calls.load() >= 8; }));

  ASIOSamples position;
  ASIOTimeStamp stamp;
  CallFromAnotherThread reading(host, [&] { driver->getSamplePosition(&position, &stamp); });
  ASSERT_TRUE(reading.returned);
  EXPECT_LE(reading.startedDuring, 1);

  CallFromAnotherThread stopping(host, [&] { EXPECT_EQ(driver->stop(), ASE_OK); });
  ASSERT_TRUE(stopping.returned);
  EXPECT_LE(stopping.startedDuring, 1);
  EXPECT_EQ(stopping.startedAfter, 0);

  int resumed = host.calls.load();
  ASSERT_EQ(driver->start(), ASE_OK);
  ASSERT_TRUE(eventually([&] { return host.calls.load() >= resumed + 3; }));
  host.sleepMs = 300;
  ASSERT_TRUE(eventually([&] { return host.inside.load() == 1; }));
  CallFromAnotherThread releasing(host, [&] { releaseDriver(); });
  ASSERT_TRUE(releasing.returned);
  EXPECT_LE(releasing.startedDuring, 1);
  EXPECT_EQ(releasing.startedAfter, 0);
}

TEST_F(AsioHostileTest, ReleaseFromInsideABufferSwitchEndsTheThreadByItself) {
  std::atomic<int> callsAtRelease{-1};
  host.arm([&] {
    callsAtRelease = host.calls.load();
    releaseDriver();
  });
  ASSERT_TRUE(eventually([&] { return canUnloadNow() == S_OK; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(host.calls.load(), callsAtRelease);
}

TEST_F(AsioHostileTest, ReleaseFromInsideARateChangeEndsTheThreadByItself) {
  {
    std::lock_guard<std::mutex> hold(rateChangeLock);
    rateChangeOnce = [&] { releaseDriver(); };
  }
  // Another program changes the rate, so that no call of this host is in the driver meanwhile.
  HANDLE other =
      CreateFileA(VV_DEVICE_NAME, 0, 0, nullptr, VV_OPEN_DISPOSITION, VV_OPEN_FLAGS, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  DWORD rate = 48000, bytes = 0;
  EXPECT_TRUE(DeviceIoControl(other, IOCTL_VV_SET_SAMPLE_RATE, &rate, sizeof rate, nullptr, 0,
                              &bytes, nullptr));
  CloseHandle(other);
  ASSERT_TRUE(eventually([&] { return released.load() && canUnloadNow() == S_OK; }));
}

TEST_F(AsioHostileTest, ACallbackBlockedOnTheReleasingThreadsLockNeitherHangsNorCrashes) {
  std::mutex hostLock;
  ASSERT_TRUE(blockCallbacksOn(hostLock));

  auto started = std::chrono::steady_clock::now();
  releaseDriver();
  EXPECT_LT(std::chrono::steady_clock::now() - started, kReturnBound);
  // The thread is still in the host and so in the module.
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  int calls = host.calls.load();
  hostLock.unlock();
  ASSERT_TRUE(eventually([&] { return canUnloadNow() == S_OK; }));
  EXPECT_EQ(host.calls.load(), calls);
}

// --- EASI ------------------------------------------------------------------------------------

class EasiBehaviour : public HalfBufferHandler {
public:
  explicit EasiBehaviour(Behaviour& host) : host_(host) {}
  void halfBufferDone(LONG) override { host_.callback(); }

private:
  Behaviour& host_;
};

struct EasiHostileTest : HostileHostTest {
  EasiBehaviour handler{host};
  AggregatingHost aggregate;
  IEasiDriver* driver = nullptr;

  void SetUp() override {
    HostileHostTest::SetUp();
    load("tx_ve.so");  // held here too, so that DllCanUnloadNow can be asked after the host let go
    std::string error;
    ASSERT_TRUE(aggregate.create(binPath("tx_ve.so"), &error)) << error;
    aggregate.setHandler(&handler);
    driver = aggregate.driver();
    ASSERT_EQ(driver->openDriver(), EASI_OK);
    ASSERT_EQ(driver->prepare(0, 0), EASI_OK);
    ASSERT_EQ(driver->startStream(), EASI_OK);
    ASSERT_TRUE(eventually([&] { return host.calls.load() >= 5; }));
  }

  void TearDown() override {
    aggregate.destroy();
    EXPECT_TRUE(eventually([&] { return canUnloadNow() == S_OK; }));
  }
};

TEST_F(EasiHostileTest, StopAndCloseFromAnotherThreadWaitForTheCallbackInProgress) {
  host.sleepMs = 20;
  ASSERT_TRUE(eventually([&] { return host.calls.load() >= 10; }));
  ASSERT_TRUE(eventually([&] { return host.inside.load() == 1; }));
  CallFromAnotherThread stopping(host, [&] { driver->stopStream(); });
  ASSERT_TRUE(stopping.returned);
  EXPECT_EQ(host.inside.load(), 0);  // the callback in progress ended before stop returned
  EXPECT_LE(stopping.startedDuring, 1);
  EXPECT_EQ(stopping.startedAfter, 0);

  ASSERT_EQ(driver->prepare(0, 0), EASI_OK);
  ASSERT_EQ(driver->startStream(), EASI_OK);
  ASSERT_TRUE(eventually([&] { return host.inside.load() == 1; }));
  // closeDriver calls the host twice itself (the current half and the other one).
  CallFromAnotherThread closing(host, [&] { EXPECT_EQ(driver->closeDriver(), EASI_OK); });
  ASSERT_TRUE(closing.returned);
  EXPECT_LE(closing.startedDuring, 3);
  EXPECT_EQ(closing.startedAfter, 0);
}

TEST_F(EasiHostileTest, CloseAndReleaseFromInsideTheCallbackEndTheThreadByItself) {
  host.arm([&] {
    EXPECT_EQ(driver->closeDriver(), EASI_OK);
    aggregate.destroy();
  });
  ASSERT_TRUE(eventually([&] { return canUnloadNow() == S_OK; }));
}

TEST_F(EasiHostileTest, ACallbackBlockedOnTheClosingThreadsLockNeitherHangsNorCrashes) {
  std::mutex hostLock;
  ASSERT_TRUE(blockCallbacksOn(hostLock));

  auto started = std::chrono::steady_clock::now();
  // stopStream's wait for the callback gives up; closing calls the host twice on this thread,
  // which does not block on its own lock here.
  host.blockOn = nullptr;
  EXPECT_EQ(driver->closeDriver(), EASI_OK);
  aggregate.destroy();
  EXPECT_LT(std::chrono::steady_clock::now() - started, kReturnBound);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  hostLock.unlock();
  ASSERT_TRUE(eventually([&] { return canUnloadNow() == S_OK; }));
}

}  // namespace
