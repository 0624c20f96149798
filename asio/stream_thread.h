// The streaming half of the ASIO driver: the stream's state, shared between the host's calls
// and one worker thread that waits for each completed half buffer and calls the host back.
#pragma once

#include <windows.h>

#include "asio_types.h"
#include "device_link.h"
#include "stream_worker.h"

enum StreamState { Created = 0, Idle = 1, Starting = 2, Running = 3, Exiting = 4, Failed = 5 };

class StreamThread : public StreamWorker {
public:
  // The thread starts at once and waits on the card driver through device's handle.
  explicit StreamThread(DeviceLink* device);

  // For the owner's destruction. Asks the thread to end and takes the lock, unless the thread
  // holds it in a host callback that does not return within the shutdown wait; true when
  // taken, and then exitAndUnlock sets Exiting and leaves it.
  bool lockForShutdown();
  void exitAndUnlock();
  // After the owner has closed the device link: ends the thread (finish) and lets go of the
  // object, which lives on while the thread does.
  void shutdown(HINSTANCE module);

  // Host side; each holds the lock. Results are ASIO codes.
  ASIOError start();
  ASIOError stop();
  bool isRunning();
  // The sample position and system time of the last buffer switch, both from the same switch.
  ASIOError readPosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp);
  // Takes the host's callbacks and the status address of the refreshed configuration.
  void setCallbacks(const ASIOCallbacks& hostCallbacks);
  void enableTimeInfo();

  DeviceLink* device;
  HANDLE thread;
  CRITICAL_SECTION lock;
  ASIOCallbacks callbacks;
  StreamState state;
  ASIOTime timeInfo;
  DWORD timeInfoMode;
  DWORD lastDriverCount;
  DWORD handedOn;

private:
  ~StreamThread() override;
  DWORD run() override;
  void stream();
  // Before the worker takes the lock for a half: a host call waiting for it goes first, so a
  // host's stop is never starved by callbacks that overrun their half.
  void giveWayToHost();
  void handOn(DWORD half, DWORD driverCount, DWORD milliseconds);
  void stampTime(DWORD milliseconds);

  // Copies taken under the lock, so the worker never reads the link while the host's thread
  // rewrites its configuration.
  HANDLE deviceHandle_;
  DWORD statusAddress_;
  std::atomic<LONG> hostCallsWaiting_;
  DWORD shutdownStart_;  // when the owner began to shut down: one 500 ms wait in all

  friend class HostHold;
};
