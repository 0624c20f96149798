#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <thread>

#include "private_registry.h"
#include "test_files.h"
#include "test_server.h"

namespace {

// {114D6E60-B05D-11D2-9A11-00104BC5C73D}
constexpr CLSID kDriverClsid = {
    0x114D6E60, 0xB05D, 0x11D2, {0x9A, 0x11, 0x00, 0x10, 0x4B, 0xC5, 0xC7, 0x3D}};

void runOnNewThread(void (*body)()) { std::thread(body).join(); }

std::string clsidText(REFCLSID id) {
  LPOLESTR wide = nullptr;
  if (FAILED(StringFromCLSID(id, &wide))) return "";
  char narrow[100] = {};
  int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
  CoTaskMemFree(wide);
  return length > 0 ? narrow : "";
}

// Registers CLSID\{id}\InprocServer32 with the given default value (none when null).
void registerServer(REFCLSID id, const char* modulePath) {
  std::string key = "CLSID\\" + clsidText(id) + "\\InprocServer32";
  HKEY handle = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &handle, nullptr),
            ERROR_SUCCESS);
  if (modulePath) {
    ASSERT_EQ(RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(modulePath),
                             static_cast<DWORD>(strlen(modulePath) + 1)),
              ERROR_SUCCESS);
  }
  RegCloseKey(handle);
}

class Apartment {
public:
  Apartment() { CoInitialize(nullptr); }
  ~Apartment() { CoUninitialize(); }
};

}  // namespace

TEST(CoInitialize, CountsPerThread) {
  runOnNewThread([] {
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    // Another thread has its own apartment state.
    runOnNewThread([] {
      EXPECT_EQ(CoInitialize(nullptr), S_OK);
      CoUninitialize();
    });
    CoUninitialize();
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);  // one initialisation still open
    CoUninitialize();
    CoUninitialize();
    CoUninitialize();  // one too many is harmless
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
    int reserved = 0;
    EXPECT_EQ(CoInitialize(&reserved), E_INVALIDARG);
  });
}

TEST(ClassIdentifiers, StringFormRoundTripsAndMalformedStringsAreRefused) {
  EXPECT_EQ(clsidText(kDriverClsid), "{114D6E60-B05D-11D2-9A11-00104BC5C73D}");
  LPOLESTR text = nullptr;
  ASSERT_EQ(StringFromCLSID(CLSID_TestServer, &text), S_OK);
  CLSID back{};
  EXPECT_EQ(CLSIDFromString(text, &back), S_OK);
  EXPECT_EQ(back, CLSID_TestServer);
  CoTaskMemFree(text);
  EXPECT_EQ(CLSIDFromString(u"{114d6e60-b05d-11d2-9a11-00104bc5c73d}", &back), S_OK);
  EXPECT_EQ(back, kDriverClsid);

  for (const char16_t* bad :
       {u"", u"114D6E60-B05D-11D2-9A11-00104BC5C73D", u"{114D6E60-B05D-11D2-9A11-00104BC5C73D}x",
        u"{114D6E60-B05D-11D2-9A1100-104BC5C73D}", u"{114D6E6G-B05D-11D2-9A11-00104BC5C73D}"}) {
    CLSID result = kDriverClsid;
    EXPECT_EQ(CLSIDFromString(bad, &result), CO_E_CLASSSTRING);
    EXPECT_EQ(result, kDriverClsid);
  }
  EXPECT_EQ(StringFromCLSID(kDriverClsid, nullptr), E_INVALIDARG);
}

TEST(CoCreateInstance, CreatesAnInprocServerRegisteredUnderALowerCasedPath) {
  vexa::testing::PrivateRegistry registry;
  MixedCaseCopy server;
  registerServer(CLSID_TestServer, server.lowerCasedPath().c_str());
  Apartment apartment;
  int attaches = environmentCount(TEST_SERVER_ATTACHES);

  ITestObject* object = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TestServer, nullptr, CLSCTX_INPROC_SERVER, IID_ITestObject,
                             reinterpret_cast<LPVOID*>(&object)),
            S_OK);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->answer(), 42);
  EXPECT_EQ(environmentCount(TEST_SERVER_ATTACHES), attaches + 1);
  EXPECT_STREQ(getenv(TEST_SERVER_INSTANCE_OK), "1");
  EXPECT_STREQ(getenv(TEST_SERVER_STATICS_READY), "1");
  EXPECT_EQ(object->Release(), 0u);

  // A second object comes from the module already loaded.
  IUnknown* unknown = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TestServer, nullptr, CLSCTX_ALL, IID_IUnknown,
                             reinterpret_cast<LPVOID*>(&unknown)),
            S_OK);
  EXPECT_EQ(environmentCount(TEST_SERVER_ATTACHES), attaches + 1);
  unknown->Release();

  // What the factory refuses reaches the caller, with nothing handed out.
  LPVOID out = &out;
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestServer, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &out),
      E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  IUnknown* outer = reinterpret_cast<IUnknown*>(&out);
  EXPECT_EQ(CoCreateInstance(CLSID_TestServer, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CLASS_E_NOAGGREGATION);

  // The module stays loaded for the rest of the process.
  EXPECT_NE(GetModuleHandleA("com_test_server.dll"), nullptr);
}

TEST(CoCreateInstance, ReportsEachWayActivationFails) {
  vexa::testing::PrivateRegistry registry;
  Apartment apartment;
  LPVOID out = &out;

  EXPECT_EQ(CoCreateInstance(kDriverClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(out, nullptr);

  registerServer(kDriverClsid, nullptr);
  EXPECT_EQ(CoCreateInstance(kDriverClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            REGDB_E_CLASSNOTREG);

  registerServer(kDriverClsid, (testsFolder() + "/missing/tx_va.dll").c_str());
  EXPECT_EQ(CoCreateInstance(kDriverClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CO_E_DLLNOTFOUND);

  MixedCaseCopy folder;
  std::string junk = folder.root() + "/junk.dll";
  FILE* file = fopen(junk.c_str(), "w");
  ASSERT_NE(file, nullptr);
  fputs("not a module", file);
  fclose(file);
  registerServer(kDriverClsid, junk.c_str());
  EXPECT_EQ(CoCreateInstance(kDriverClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CO_E_ERRORINDLL);

  // A loadable library that is no COM server.
  char platform[4096];
  ASSERT_NE(GetModuleFileNameA(GetModuleHandleA("libvexaplatform.dll"), platform, sizeof platform),
            0u);
  registerServer(kDriverClsid, platform);
  EXPECT_EQ(CoCreateInstance(kDriverClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CO_E_ERRORINDLL);
  EXPECT_EQ(out, nullptr);

  // The server's own answer for a class it does not serve.
  registerServer(kDriverClsid, testServerFile().c_str());
  EXPECT_EQ(CoCreateInstance(kDriverClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
            CLASS_E_CLASSNOTAVAILABLE);

  registerServer(CLSID_TestServer, testServerFile().c_str());
  EXPECT_EQ(CoCreateInstance(CLSID_TestServer, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &out),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(
      CoCreateInstance(CLSID_TestServer, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
      E_POINTER);
  runOnNewThread([] {
    LPVOID out = &out;
    EXPECT_EQ(CoCreateInstance(CLSID_TestServer, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(out, nullptr);
  });
}
