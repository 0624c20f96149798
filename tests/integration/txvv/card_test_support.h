// Small helpers of the card tests: raw requests on a handle.
#pragma once

#include <device_link.h>

#include <gtest/gtest.h>

#include <vector>

// One request; returns the call's success, the byte count in *bytes.
inline bool request(HANDLE handle, DWORD code, const void* in = nullptr, DWORD inSize = 0,
                    void* out = nullptr, DWORD outSize = 0, DWORD* bytes = nullptr) {
  DWORD returned = 0;
  BOOL ok = DeviceIoControl(handle, code, const_cast<void*>(in), inSize, out, outSize, &returned,
                            nullptr);
  if (bytes) *bytes = returned;
  return ok;
}

inline HANDLE openCard() {
  return CreateFileA(VV_DEVICE_NAME, 0, 0, nullptr, VV_OPEN_DISPOSITION, VV_OPEN_FLAGS, nullptr);
}

struct WaitReply {
  bool ok;
  DWORD rate;
  DWORD changed;
};

inline WaitReply waitHalf(HANDLE handle) {
  DWORD words[2] = {0xDEAD, 0xDEAD};
  DWORD bytes = 0;
  bool ok = request(handle, IOCTL_VV_WAIT_HALF_BUFFER, nullptr, 0, words, sizeof words, &bytes);
  return {ok && bytes == 8, words[0], words[1]};
}
