// The COM server as hosts and the registration tool reach it: the built module's exports,
// its class factory, object counting and self-registration.
#include <gtest/gtest.h>

#include <vexa/dialog.h>
#include <vexa/registry_store.h>

#include <string>
#include <vector>

#include "driver_identity.h"
#include "fake_card.h"
#include "host_recorder.h"
#include "iasio.h"
#include "server_module.h"

namespace {

const char kClassKey[] = "CLSID\\{114D6E60-B05D-11D2-9A11-00104BC5C73D}";
const char kServerKey[] = "CLSID\\{114D6E60-B05D-11D2-9A11-00104BC5C73D}\\InprocServer32";
const char kAsioKey[] = "SOFTWARE\\ASIO\\TX ASIO Driver";

std::string readString(HKEY root, const char* path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS) return "<no key>";
  char text[512] = {};
  DWORD size = sizeof text - 1;
  DWORD type = REG_NONE;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return "<no value>";
  return type == REG_SZ ? text : "<not a string>";
}

void writeString(HKEY root, const char* path, const char* name, const char* text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyA(root, path, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                           static_cast<DWORD>(strlen(text) + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

bool keyExists(HKEY root, const char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// An aggregating object that only counts the references its inner object forwards to it.
struct CountingOuter : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++count; }
  ULONG STDMETHODCALLTYPE Release() override { return --count; }
  ULONG count = 1;
};

struct ServerTest : ::testing::Test {
  FakeCard card;
  ServerModule server;
  std::vector<vexa::platform::MessageBoxCall> boxes;

  void SetUp() override {
    ASSERT_TRUE(server.loaded()) << ServerModule::builtPath();
    vexa::platform::setMessageBoxAnswerer([this](const vexa::platform::MessageBoxCall& call) {
      boxes.push_back(call);
      return IDOK;
    });
  }
  void TearDown() override { vexa::platform::setMessageBoxAnswerer(nullptr); }

  IClassFactory* factory() {
    void* object = nullptr;
    EXPECT_EQ(server.getClassObject(CLSID_TxAsioDriver, IID_IClassFactory, &object), S_OK);
    return static_cast<IClassFactory*>(object);
  }

  std::string modulePath() {
    char path[400] = {};
    GetModuleFileNameA(server.module, path, sizeof path);
    return path;
  }
};

// --- DllGetClassObject and the class factory ---

TEST_F(ServerTest, GetClassObjectChecksTheInterfaceBeforeTheClass) {
  void* untouched = &card;
  const CLSID other = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
  EXPECT_EQ(server.getClassObject(other, CLSID_TxAsioDriver, &untouched), E_NOINTERFACE);
  EXPECT_EQ(untouched, &card);
  EXPECT_EQ(server.getClassObject(other, IID_IClassFactory, &untouched),
            CLASS_E_CLASSNOTAVAILABLE);

  void* object = nullptr;
  ASSERT_EQ(server.getClassObject(CLSID_TxAsioDriver, IID_IUnknown, &object), S_OK);
  auto* classFactory = static_cast<IClassFactory*>(object);
  void* same = nullptr;
  EXPECT_EQ(classFactory->QueryInterface(IID_IClassFactory, &same), S_OK);
  EXPECT_EQ(same, object);
  same = &card;
  EXPECT_EQ(classFactory->QueryInterface(CLSID_TxAsioDriver, &same), E_NOINTERFACE);
  EXPECT_EQ(same, nullptr);
  EXPECT_EQ(classFactory->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(classFactory->Release(), 1u);
  EXPECT_EQ(classFactory->Release(), 0u);
}

TEST_F(ServerTest, CreateInstanceWithoutAnOuterUnknown) {
  IClassFactory* classFactory = factory();
  EXPECT_EQ(classFactory->CreateInstance(nullptr, CLSID_TxAsioDriver, nullptr), E_POINTER);

  void* object = nullptr;
  EXPECT_EQ(classFactory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(server.canUnloadNow(), S_OK);  // the object was made and went again

  ASSERT_EQ(classFactory->CreateInstance(nullptr, CLSID_TxAsioDriver, &object), S_OK);
  auto* asio = static_cast<IASIO*>(object);
  EXPECT_EQ(asio->init(nullptr), ASIOTrue);
  IUnknown* identity = nullptr;
  ASSERT_EQ(asio->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_NE(static_cast<void*>(identity), object);
  EXPECT_EQ(identity->Release(), 1u);
  EXPECT_EQ(asio->Release(), 0u);
  classFactory->Release();
}

TEST_F(ServerTest, CreateInstanceAggregated) {
  IClassFactory* classFactory = factory();
  CountingOuter outer;
  void* object = nullptr;
  EXPECT_EQ(classFactory->CreateInstance(&outer, CLSID_TxAsioDriver, &object), E_NOINTERFACE);
  EXPECT_EQ(server.canUnloadNow(), S_OK);

  ASSERT_EQ(classFactory->CreateInstance(&outer, IID_IUnknown, &object), S_OK);
  auto* inner = static_cast<IUnknown*>(object);
  IASIO* asio = nullptr;
  ASSERT_EQ(inner->QueryInterface(CLSID_TxAsioDriver, reinterpret_cast<void**>(&asio)), S_OK);
  EXPECT_EQ(outer.count, 2u);  // IASIO's reference went to the outer unknown
  EXPECT_EQ(asio->init(nullptr), ASIOTrue);
  asio->AddRef();
  EXPECT_EQ(outer.count, 3u);
  asio->Release();
  asio->Release();
  EXPECT_EQ(outer.count, 1u);
  EXPECT_EQ(server.canUnloadNow(), S_FALSE);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(server.canUnloadNow(), S_OK);
  classFactory->Release();
}

TEST_F(ServerTest, CanUnloadNowCountsObjectsAndLocksButNotFactories) {
  EXPECT_EQ(server.canUnloadNow(), S_OK);
  IClassFactory* classFactory = factory();
  EXPECT_EQ(server.canUnloadNow(), S_OK);

  EXPECT_EQ(classFactory->LockServer(TRUE), S_OK);
  EXPECT_EQ(server.canUnloadNow(), S_FALSE);
  EXPECT_EQ(classFactory->LockServer(FALSE), S_OK);
  EXPECT_EQ(server.canUnloadNow(), S_OK);

  void* object = nullptr;
  ASSERT_EQ(classFactory->CreateInstance(nullptr, CLSID_TxAsioDriver, &object), S_OK);
  classFactory->Release();
  EXPECT_EQ(server.canUnloadNow(), S_FALSE);
  static_cast<IASIO*>(object)->Release();
  EXPECT_EQ(server.canUnloadNow(), S_OK);
}

TEST_F(ServerTest, HostsCreateTheDriverWithItsClassAsInterface) {
  ASSERT_EQ(server.registerServer(), S_OK);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IASIO* asio = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_TxAsioDriver, nullptr, CLSCTX_INPROC_SERVER, CLSID_TxAsioDriver,
                             reinterpret_cast<void**>(&asio)),
            S_OK);
  EXPECT_EQ(asio->init(nullptr), ASIOTrue);
  char name[64] = {};
  asio->getDriverName(name);
  EXPECT_STREQ(name, "Tarvenix Native");
  EXPECT_EQ(asio->Release(), 0u);
  CoUninitialize();
}

// --- the control panel, with the module's own dialog ---

TEST_F(ServerTest, APanelThatStoresASizeAsksTheHostToReset) {
  HostRecorder host;
  void* object = nullptr;
  IClassFactory* classFactory = factory();
  ASSERT_EQ(classFactory->CreateInstance(nullptr, CLSID_TxAsioDriver, &object), S_OK);
  classFactory->Release();
  auto* asio = static_cast<IASIO*>(object);
  ASIOBufferInfo infos[1] = {{ASIOFalse, 0, {}}};
  ASIOCallbacks callbacks = host.callbacks();
  ASSERT_EQ(asio->createBuffers(infos, 1, 256, &callbacks), ASE_OK);

  std::string caption;
  vexa::platform::setDialogAnswerer([&](vexa::platform::Dialog& dialog) {
    caption = dialog.caption();
    dialog.dragTrackbar(102, 3);
    dialog.pressEnter();
  });
  EXPECT_EQ(asio->controlPanel(), ASE_OK);
  EXPECT_EQ(caption, "TX ASIO 2 Control Panel");
  EXPECT_EQ(SettingsKey(ASIO_SETTINGS_KEY).readBufferSize(), 256u);
  EXPECT_EQ(host.messages(), (std::vector<long>{kAsioSupportsTimeInfo, kAsioResetRequest}));

  vexa::platform::setDialogAnswerer([](vexa::platform::Dialog& dialog) { dialog.pressEscape(); });
  EXPECT_EQ(asio->controlPanel(), ASE_OK);
  EXPECT_EQ(host.messages().size(), 2u);
  vexa::platform::setDialogAnswerer(nullptr);
  asio->Release();
}

TEST_F(ServerTest, AnUninitialisedDriverShowsThePanelWithBaseSizeZero) {
  card.device.setAvailable(false);
  void* object = nullptr;
  IClassFactory* classFactory = factory();
  ASSERT_EQ(classFactory->CreateInstance(nullptr, CLSID_TxAsioDriver, &object), S_OK);
  classFactory->Release();
  auto* asio = static_cast<IASIO*>(object);
  ASSERT_EQ(asio->init(nullptr), ASIOFalse);
  std::string label;
  vexa::platform::setDialogAnswerer([&](vexa::platform::Dialog& dialog) {
    dialog.dragTrackbar(102, 5);
    if (auto* control = dialog.control(101)) label = control->text;
    dialog.pressEscape();
  });
  EXPECT_EQ(asio->controlPanel(), ASE_OK);
  vexa::platform::setDialogAnswerer(nullptr);
  EXPECT_EQ(label, "0 samples");
  asio->Release();
}

// --- registration ---

TEST_F(ServerTest, RegistrationWritesTheLayoutAndUnregistrationRemovesIt) {
  ASSERT_EQ(server.registerServer(), S_OK);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey, nullptr), "TX ASIO");
  // Linux paths are case-sensitive: the path is kept as the module was loaded.
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kServerKey, nullptr), modulePath());
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kServerKey, "ThreadingModel"), "Apartment");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kAsioKey, "CLSID"),
            "{114D6E60-B05D-11D2-9A11-00104BC5C73D}");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kAsioKey, "Description"), "TX ASIO");
  // HKEY_CLASSES_ROOT is the view of HKEY_LOCAL_MACHINE\Software\Classes.
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "Software\\Classes\\CLSID\\"
                                           "{114D6E60-B05D-11D2-9A11-00104BC5C73D}", nullptr),
            "TX ASIO");

  ASSERT_EQ(server.unregisterServer(), S_OK);
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, kClassKey));
  EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, kAsioKey));
  EXPECT_TRUE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO"));
  // Nothing to remove is no failure.
  EXPECT_EQ(server.unregisterServer(), S_OK);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(ServerTest, RegisteringTwiceKeepsTheClassAndRewritesTheAsioKey) {
  ASSERT_EQ(server.registerServer(), S_OK);
  writeString(HKEY_CLASSES_ROOT, kClassKey, "Mark", "kept");
  writeString(HKEY_LOCAL_MACHINE, kAsioKey, "Mark", "dropped");
  writeString(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Other Driver", "CLSID", "{other}");
  ASSERT_EQ(server.registerServer(), S_OK);
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey, "Mark"), "kept");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kAsioKey, "Mark"), "<no value>");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, kAsioKey, "CLSID"),
            "{114D6E60-B05D-11D2-9A11-00104BC5C73D}");
  EXPECT_EQ(readString(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Other Driver", "CLSID"), "{other}");
}

TEST_F(ServerTest, RegisteringAfterAMoveReplacesTheWholeClassKey) {
  writeString(HKEY_CLASSES_ROOT, kServerKey, nullptr, "/old/place/tx_va.so");
  writeString(HKEY_CLASSES_ROOT, kClassKey, "Mark", "old");
  writeString(HKEY_CLASSES_ROOT, (std::string(kServerKey) + "\\Deeper\\Still").c_str(), "x", "y");
  ASSERT_EQ(server.registerServer(), S_OK);
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kServerKey, nullptr), modulePath());
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kClassKey, "Mark"), "<no value>");
  EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, (std::string(kServerKey) + "\\Deeper").c_str()));

  // A path that differs only in case is another file here.
  std::string upper = modulePath();
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  writeString(HKEY_CLASSES_ROOT, kServerKey, nullptr, upper.c_str());
  ASSERT_EQ(server.registerServer(), S_OK);
  EXPECT_EQ(readString(HKEY_CLASSES_ROOT, kServerKey, nullptr), modulePath());
}

TEST_F(ServerTest, AFailingRegistryFailsRegistrationWithItsOwnCode) {
  std::string saved = getenv("VEXA_REGISTRY");
  setenv("VEXA_REGISTRY", "/nonexistent-vexa-folder/registry.db", 1);
  vexa::platform::closeRegistryStore();
  HRESULT registered = server.registerServer();
  HRESULT unregistered = server.unregisterServer();
  setenv("VEXA_REGISTRY", saved.c_str(), 1);
  vexa::platform::closeRegistryStore();

  EXPECT_EQ(registered, -1);
  EXPECT_EQ(unregistered, -1);  // a registry that cannot be read is not an empty one
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text, "Unregister Server failed! (-105)");
  EXPECT_EQ(boxes[0].text, "Register Server failed! (-105)");
  EXPECT_EQ(boxes[0].caption, "TX ASIO Driver");
  EXPECT_EQ(boxes[0].owner, nullptr);
  EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_OK));
}

}  // namespace
