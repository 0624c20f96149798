// The streaming half of the ASIO driver: the stream's state, shared between the host's calls
// and one worker thread that waits for each completed half buffer and calls the host back.
#pragma once

#include <windows.h>

#include "asio_types.h"
#include "device_link.h"

enum StreamState { Created = 0, Idle = 1, Starting = 2, Running = 3, Exiting = 4, Failed = 5 };

class StreamThread {
public:
  // The thread starts at once and waits on the card driver through device's handle.
  explicit StreamThread(DeviceLink* device);
  // Ends the thread (500 ms, then forced) after the owner has closed the device link.
  ~StreamThread();
  StreamThread(const StreamThread&) = delete;
  StreamThread& operator=(const StreamThread&) = delete;

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
  static DWORD WINAPI worker(LPVOID argument);
  void run();
  void handOn(DWORD half, DWORD driverCount, DWORD milliseconds);
  void stampTime(DWORD milliseconds);

  // Copies taken under the lock, so the worker never reads the link while the host's thread
  // rewrites its configuration.
  HANDLE deviceHandle_;
  DWORD statusAddress_;
};
