// The interface of the small COM server that these tests load.
#pragma once

#include <objbase.h>

// {5C1F0D2A-7B3E-4C61-9A8D-2E4F6B7C8D90}
inline constexpr CLSID CLSID_TestServer = {
    0x5C1F0D2A, 0x7B3E, 0x4C61, {0x9A, 0x8D, 0x2E, 0x4F, 0x6B, 0x7C, 0x8D, 0x90}};
// {5C1F0D2B-7B3E-4C61-9A8D-2E4F6B7C8D90}
inline constexpr IID IID_ITestObject = {
    0x5C1F0D2B, 0x7B3E, 0x4C61, {0x9A, 0x8D, 0x2E, 0x4F, 0x6B, 0x7C, 0x8D, 0x90}};

struct ITestObject : public IUnknown {
  // 42, computed by a part of the server that comes from a static library.
  virtual LONG STDMETHODCALLTYPE answer() = 0;
};

// Process environment variables through which the server reports its DllMain calls, because
// they outlive the module once it is unloaded.
#define TEST_SERVER_ATTACHES "VEXA_TEST_SERVER_ATTACHES"
#define TEST_SERVER_DETACHES "VEXA_TEST_SERVER_DETACHES"
#define TEST_SERVER_INSTANCE_OK "VEXA_TEST_SERVER_INSTANCE_OK"
#define TEST_SERVER_STATICS_READY "VEXA_TEST_SERVER_STATICS_READY"
#define TEST_SERVER_REFUSE_ATTACH "VEXA_TEST_SERVER_REFUSE_ATTACH"
