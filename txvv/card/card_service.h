// The card driver's side of every handle: channels and handles, the request table, the
// half-buffer waits, the stream claim and the meter's notifications. Everything a client
// sends passes through received(); the clock drives the card through tick().
#pragma once

#include "card_model.h"
#include "outbox.h"

#include "../wire/txvv_wire.h"
#include "../wire/wait_page.h"

#include <sys/types.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace txvv {

class CardService {
public:
  using Clock = std::function<int64_t()>;  // CLOCK_MONOTONIC nanoseconds

  CardService(const CardOptions& options, Outbox& outbox, Clock clock = nullptr);
  ~CardService();
  // False with *error set when the card cannot be set up (a signal file, a capture file).
  bool prepare(std::string* error);

  void connected(ChannelId channel, pid_t pid);
  enum Verdict { Keep, HangUp };
  // HangUp: the message was malformed or out of place; the channel is forgotten already.
  Verdict received(ChannelId channel, const uint8_t* data, size_t size);
  void disconnected(ChannelId channel);
  // False while the channel is open and has not said hello.
  bool greeted(ChannelId channel);

  // Brings the card up to `now`; returns the time of its next event, 0 when none is due
  // (no clock, or nothing scheduled).
  int64_t tick(int64_t now);
  // The clock thread's sleep: until the deadline (0: none) or until something changes.
  // False when it did not sleep at all (the deadline had passed, or a change came first).
  bool sleepUntil(int64_t deadline);
  // Ends the clock thread's sleeps for good.
  void stopClock();

  std::string statusText();
  size_t handleCount();
  // Flushes capture files; the service serves nothing afterwards.
  void shutdown();

  // The priority the clock thread runs at, for the status text.
  void setClockPriority(const std::string& description);

private:
  struct MeterClient;
  struct Handle;
  struct Channel {
    ChannelId id = 0;
    pid_t pid = 0;
    uint32_t role = 0;  // 0 until its hello
    uint32_t handle = 0;
    bool waiting = false;
  };
  struct Reply {
    bool ok = false;
    uint32_t error = 0;
    uint32_t bytes = 0;
    std::vector<uint8_t> data;
    bool streamConfig = false;  // data is a StreamConfig with stream-region offsets
    uint32_t session = 0;
    bool parked = false;  // a half-buffer wait: answered by the clock
  };

  Verdict hello(Channel& channel, const uint8_t* data, size_t size);
  Verdict request(Channel& channel, const uint8_t* data, size_t size);
  Reply handleRequest(Handle& handle, uint32_t code, const uint8_t* in, uint32_t inSize,
                      uint32_t outSize);
  bool sendReply(ChannelId channel, const Reply& reply);
  void forgetChannel(ChannelId channel);
  void closeHandle(uint32_t id);

  std::string statusTextLocked();
  void catchUp(int64_t now);
  int64_t timeOfFrame(uint64_t frame) const;
  uint32_t msAt(int64_t time) const;
  void reanchor(int64_t now);
  void rateChanged(int64_t now);
  void halfCompleted();
  void completeWaits(uint32_t seen);
  void ringDoorbells();
  void publishWaitPage();
  void assignWaitCell(Handle& handle);
  void releaseWaitCell(Handle& handle);
  void deliverMeterBlock();
  void deliverRate(Handle& handle);
  bool releaseSlot(Handle& handle);
  void collectAcknowledgements(Handle& handle);
  bool collectPendingRates();
  void applyScheduledChanges(int64_t now);
  int64_t now() const { return clock_(); }
  // Under the lock: the clock's next deadline may have moved.
  void clockChanged();

  std::mutex lock_;
  std::condition_variable changed_;
  Outbox& outbox_;
  Clock clock_;
  CardModel model_;
  int64_t started_;
  std::string clockPriority_ = "normal";

  std::map<ChannelId, Channel> channels_;
  std::map<uint32_t, std::unique_ptr<Handle>> handles_;
  uint32_t nextHandle_ = 1;
  uint32_t streamOwner_ = 0;
  std::vector<ChannelId> waiters_;
  std::vector<ChannelId> waiting_;
  // The wait page every client maps (private to the daemon when it could not be shared).
  std::unique_ptr<SharedRegion> waitRegion_;
  std::unique_ptr<wire::WaitPage> privatePage_;
  wire::WaitPage* page_ = nullptr;
  // What the page shows: completed halves (wrapping), their count at the last start, and the
  // rate's generation.
  uint32_t halves_ = 0;
  uint32_t startMark_ = 0;
  uint32_t rateGeneration_ = 0;
  // Free cells, reused oldest first: a client thread that has not yet noticed its handle
  // closed is long gone before its cell serves another handle.
  std::deque<uint32_t> freeCells_;
  uint32_t nextSession_ = 0;
  uint32_t cardState_ = 0;
  uint32_t lastRecord_[5] = {};
  size_t nextSpdifChange_ = 0;
  bool shutDown_ = false;
  bool clockStopped_ = false;
  uint64_t changes_ = 0;
  uint64_t changesSeen_ = 0;

  // The card's frame clock: frame `processed_` has been produced; frame anchorFrame_ falls at
  // anchorTime_ on the monotonic clock.
  uint64_t processed_ = 0;
  uint64_t anchorFrame_ = 0;
  int64_t anchorTime_ = 0;
};

}  // namespace txvv
