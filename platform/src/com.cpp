// COM for in-process servers: apartment initialisation counted per thread, class identifiers
// in their registry form, and activation of a class through its InprocServer32 module.
//
// A module that CoCreateInstance loads stays loaded for the rest of the process, as COM keeps
// it until CoFreeUnusedLibraries, which this platform does not provide: an object may outlive
// every reference the host knows about (a class factory kept by the module itself, a thread),
// and unloading under it would crash.
#include <windows.h>
#include <objbase.h>

#include <stdlib.h>

#include <mutex>
#include <set>
#include <string>
#include <vector>

VEXA_EXTERN_C const IID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
VEXA_EXTERN_C const IID IID_IClassFactory = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

thread_local unsigned apartmentInits = 0;

constexpr size_t kClsidLength = 38;  // {8-4-4-4-12}

int hexValue(OLECHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper-case as COM writes it.
std::string clsidString(REFCLSID id) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text = "{";
  auto put = [&](unsigned long value, int count) {
    for (int shift = (count - 1) * 4; shift >= 0; shift -= 4)
      text += digits[(value >> shift) & 0xF];
  };
  put(id.Data1, 8);
  text += '-';
  put(id.Data2, 4);
  text += '-';
  put(id.Data3, 4);
  text += '-';
  for (int i = 0; i < 8; ++i) {
    if (i == 2) text += '-';
    put(id.Data4[i], 2);
  }
  return text + "}";
}

bool isDashPosition(size_t i) { return i == 9 || i == 14 || i == 19 || i == 24; }

// The default value of the class's InprocServer32 key; empty when the class is not registered
// for an in-process server.
std::string inprocServerPath(REFCLSID id) {
  HKEY key = nullptr;
  std::string keyPath = "CLSID\\" + clsidString(id) + "\\InprocServer32";
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return "";
  }
  std::string path;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0) {
    std::vector<char> buffer(size + 1, '\0');
    if (RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(buffer.data()),
                         &size) == ERROR_SUCCESS) {
      path = buffer.data();
    }
  }
  RegCloseKey(key);
  return path;
}

// Modules that activation has loaded; each keeps exactly one load reference.
struct ServerModules {
  std::mutex lock;
  std::set<HMODULE> loaded;
};

ServerModules& serverModules() {
  static auto* modules = new ServerModules;
  return *modules;
}

void keepLoaded(HMODULE module) {
  auto& modules = serverModules();
  bool alreadyKept;
  {
    std::lock_guard<std::mutex> guard(modules.lock);
    alreadyKept = !modules.loaded.insert(module).second;
  }
  if (alreadyKept) FreeLibrary(module);
}

typedef HRESULT(STDAPICALLTYPE* ClassObjectGetter)(REFCLSID, REFIID, LPVOID*);

}  // namespace

extern "C" HRESULT WINAPI CoInitialize(LPVOID pvReserved) {
  if (pvReserved) return E_INVALIDARG;
  return apartmentInits++ == 0 ? S_OK : S_FALSE;
}

extern "C" void WINAPI CoUninitialize(void) {
  if (apartmentInits > 0) --apartmentInits;
}

extern "C" LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) { return malloc(cb ? cb : 1); }

extern "C" void WINAPI CoTaskMemFree(LPVOID pv) { free(pv); }

extern "C" HRESULT WINAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz) {
  if (!lplpsz) return E_INVALIDARG;
  *lplpsz = nullptr;
  auto* text = static_cast<LPOLESTR>(CoTaskMemAlloc((kClsidLength + 1) * sizeof(OLECHAR)));
  if (!text) return E_OUTOFMEMORY;
  std::string narrow = clsidString(rclsid);
  for (size_t i = 0; i <= kClsidLength; ++i) text[i] = static_cast<OLECHAR>(narrow.c_str()[i]);
  *lplpsz = text;
  return S_OK;
}

extern "C" HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid) {
  if (!pclsid) return E_INVALIDARG;
  if (!lpsz) {
    *pclsid = CLSID{};
    return S_OK;
  }
  std::vector<int> nibbles;
  size_t i = 0;
  for (; i < kClsidLength; ++i) {
    OLECHAR c = lpsz[i];
    if (c == u'\0') return CO_E_CLASSSTRING;
    bool ok = i == 0                  ? c == u'{'
              : i == kClsidLength - 1 ? c == u'}'
              : isDashPosition(i)     ? c == u'-'
                                      : hexValue(c) >= 0;
    if (!ok) return CO_E_CLASSSTRING;
    if (i > 0 && i < kClsidLength - 1 && !isDashPosition(i)) nibbles.push_back(hexValue(c));
  }
  if (lpsz[i] != u'\0') return CO_E_CLASSSTRING;

  size_t next = 0;
  auto take = [&](int digits) {
    unsigned long value = 0;
    for (int d = 0; d < digits; ++d)
      value = (value << 4) | static_cast<unsigned long>(nibbles[next++]);
    return value;
  };
  CLSID id;
  id.Data1 = take(8);
  id.Data2 = static_cast<unsigned short>(take(4));
  id.Data3 = static_cast<unsigned short>(take(4));
  for (unsigned char& byte : id.Data4) byte = static_cast<unsigned char>(take(2));
  *pclsid = id;
  return S_OK;
}

extern "C" HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                           REFIID riid, LPVOID* ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (apartmentInits == 0) return CO_E_NOTINITIALIZED;
  // Only in-process servers exist here; a class asked for in another context is not registered.
  if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;

  std::string path = inprocServerPath(rclsid);
  if (path.empty()) return REGDB_E_CLASSNOTREG;
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    // A file that is there but cannot serve (not a module, or its DllMain refused) is an
    // error in the DLL; anything else means the DLL was not found.
    DWORD error = GetLastError();
    return (error == ERROR_BAD_EXE_FORMAT || error == ERROR_DLL_INIT_FAILED) ? CO_E_ERRORINDLL
                                                                             : CO_E_DLLNOTFOUND;
  }
  // Through void (*)(), the one function type that converts to any other without a warning.
  auto getClassObject = reinterpret_cast<ClassObjectGetter>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
  if (!getClassObject) {
    FreeLibrary(module);
    return CO_E_ERRORINDLL;
  }
  keepLoaded(module);

  IClassFactory* factory = nullptr;
  HRESULT result = getClassObject(rclsid, IID_IClassFactory, reinterpret_cast<LPVOID*>(&factory));
  if (FAILED(result)) return result;
  if (!factory) return CO_E_ERRORINDLL;
  result = factory->CreateInstance(pUnkOuter, riid, ppv);
  factory->Release();
  if (FAILED(result)) *ppv = nullptr;
  return result;
}
