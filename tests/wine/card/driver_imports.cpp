#include "driver_imports.h"

#include "in_process_card.h"

#include <device_records.h>

#include <string.h>

#include <atomic>

namespace wine_card {

namespace {

// Made at the first open of the device, never before: the drivers' runtime closes handles of
// its own while the process exits, when no thread may be started any more.
std::atomic<InProcessCard*> theCard{nullptr};

InProcessCard* openedCard() { return theCard.load(); }

InProcessCard& card() {
  static InProcessCard* made = [] {
    auto* card = new InProcessCard;  // lives until the process ends
    theCard.store(card);
    return card;
  }();
  return *made;
}

HANDLE WINAPI cardCreateFileA(LPCSTR name, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE templateFile) {
  if (name && lstrcmpiA(name, VV_DEVICE_NAME) == 0) return card().open();
  return CreateFileA(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI cardDeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
                                DWORD outSize, LPDWORD returned, LPOVERLAPPED overlapped) {
  InProcessCard* card = openedCard();
  if (card && card->owns(device)) return card->request(device, code, in, inSize, out, outSize, returned);
  return DeviceIoControl(device, code, in, inSize, out, outSize, returned, overlapped);
}

BOOL WINAPI cardCloseHandle(HANDLE handle) {
  InProcessCard* card = openedCard();
  if (card && card->owns(handle)) return card->close(handle);
  return CloseHandle(handle);
}

struct Redirect {
  const char* name;
  void* replacement;
};

const Redirect kRedirects[] = {
    {"CreateFileA", reinterpret_cast<void*>(&cardCreateFileA)},
    {"DeviceIoControl", reinterpret_cast<void*>(&cardDeviceIoControl)},
    {"CloseHandle", reinterpret_cast<void*>(&cardCloseHandle)},
};

void* replacementFor(const char* name) {
  for (const Redirect& r : kRedirects)
    if (strcmp(r.name, name) == 0) return r.replacement;
  return nullptr;
}

}  // namespace

int redirectDeviceImports(HMODULE module) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress == 0) return 0;
  int redirected = 0;
  for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), "kernel32.dll") != 0 ||
        import->OriginalFirstThunk == 0)
      continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      void* replacement = replacementFor(reinterpret_cast<const char*>(byName->Name));
      if (!replacement) continue;
      DWORD protection = 0;
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
      ++redirected;
    }
  }
  return redirected;
}

}  // namespace wine_card
