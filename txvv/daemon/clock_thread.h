// The thread that runs the card's clock: it sleeps until the next half or meter block is due
// and lets the card service complete it. Real-time scheduling when the system allows it.
#pragma once

#include "../card/card_service.h"

#include <pthread.h>

#include <atomic>
#include <string>

namespace txvv {

class ClockThread {
public:
  explicit ClockThread(CardService& service) : service_(service) {}
  ~ClockThread() { stop(); }
  // Returns a description of the scheduling it got ("SCHED_FIFO 70" or "normal ...").
  std::string start(int rtPriority);
  void stop();

private:
  static void* run(void* self);
  CardService& service_;
  pthread_t thread_{};
  bool started_ = false;
  std::atomic<bool> stopping_{false};
};

}  // namespace txvv
