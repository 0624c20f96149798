// Modules over the dynamic loader. A module's HMODULE is the address of its first loadable
// segment (where the loader mapped it), so the program has a non-null handle as on Windows and
// a handle can be checked against the objects actually loaded before anything is done with it.
#include <windows.h>

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <vector>

#include "module_names.h"
#include "vexa/module_registry.h"

namespace vexa::platform {

namespace {

struct Segment {
  uintptr_t start;
  uintptr_t end;
};

struct LoadedObject {
  HMODULE handle = nullptr;
  std::string loaderName;  // as the dynamic loader knows it; empty for the program
  bool isProgram = false;
  std::vector<Segment> segments;
};

std::vector<LoadedObject> loadedObjects() {
  std::vector<LoadedObject> objects;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* list = static_cast<std::vector<LoadedObject>*>(data);
        LoadedObject object;
        for (int i = 0; i < info->dlpi_phnum; ++i) {
          const auto& header = info->dlpi_phdr[i];
          if (header.p_type != PT_LOAD) continue;
          // Page-aligned as the loader maps it, so the handle equals dladdr's dli_fbase.
          static const uintptr_t pageMask = ~static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE) - 1);
          uintptr_t start = (info->dlpi_addr + header.p_vaddr) & pageMask;
          if (!object.handle) object.handle = reinterpret_cast<HMODULE>(start);
          object.segments.push_back({start, info->dlpi_addr + header.p_vaddr + header.p_memsz});
        }
        if (!object.handle) return 0;
        object.loaderName = info->dlpi_name ? info->dlpi_name : "";
        object.isProgram = list->empty();
        list->push_back(std::move(object));
        return 0;
      },
      &objects);
  return objects;
}

std::optional<LoadedObject> findObject(HMODULE handle) {
  if (!handle) return std::nullopt;
  for (auto& object : loadedObjects()) {
    if (object.handle == handle) return object;
  }
  return std::nullopt;
}

const std::string& programPath() {
  static const std::string* path = [] {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return new std::string(length > 0 ? std::string(buffer, static_cast<size_t>(length)) : "");
  }();
  return *path;
}

std::string realPathOf(const std::string& path) {
  char buffer[PATH_MAX];
  if (path.empty() || !::realpath(path.c_str(), buffer)) return path;
  return buffer;
}

std::string pathOf(const LoadedObject& object) {
  return object.isProgram ? programPath() : realPathOf(object.loaderName);
}

// Modules loaded through LoadLibraryA, with the loader handle and the number of loads that
// FreeLibrary has still to undo. Never destroyed: modules unload during exit after it.
// Its lock plays the Windows loader lock: held from the load through DllMain, so that no other
// thread gets a module before its attach has finished, and around the unload. Recursive,
// because DllMain may load and free libraries itself.
struct LibraryTable {
  std::recursive_mutex lock;
  std::map<HMODULE, std::pair<void*, unsigned>> loads;
};

LibraryTable& libraries() {
  static auto* table = new LibraryTable;
  return *table;
}

// The entry objects announced during the loader call of the LoadLibraryA running on this
// thread; null outside one.
thread_local std::vector<ModuleAttach>* pendingAttaches = nullptr;

HMODULE moduleByFileName(const std::string& name) {
  auto candidates = moduleFileNames(name);
  for (auto& object : loadedObjects()) {
    std::string path = pathOf(object);
    for (const auto& candidate : candidates) {
      if (equalsIgnoringCase(fileNameOf(path), candidate) ||
          (!object.loaderName.empty() &&
           equalsIgnoringCase(fileNameOf(object.loaderName), candidate))) {
        return object.handle;
      }
    }
  }
  return nullptr;
}

HMODULE moduleByPath(const std::string& name) {
  std::vector<std::string> wanted;
  for (const auto& candidate : moduleFileNames(name)) {
    if (auto file = findFileIgnoringCase(candidate)) wanted.push_back(realPathOf(*file));
  }
  for (auto& object : loadedObjects()) {
    std::string path = pathOf(object);
    for (const auto& candidate : wanted) {
      if (path == candidate) return object.handle;
    }
  }
  return nullptr;
}

// The file LoadLibraryA opens for a name: a path is taken as it stands (ignoring case where it
// must); a bare name is found among the loaded modules, then beside the program, then in the
// current folder, and is otherwise left to the loader's own search.
std::string libraryFileFor(const std::string& name, bool& mustExist) {
  mustExist = true;
  auto candidates = moduleFileNames(name);
  if (hasDirectory(name)) {
    for (const auto& candidate : candidates) {
      if (auto file = findFileIgnoringCase(candidate)) return *file;
    }
    return candidates.front();
  }
  if (HMODULE loaded = moduleByFileName(name)) {
    if (auto object = findObject(loaded); object && !object->isProgram) return pathOf(*object);
  }
  for (const std::string& folder : {directoryOf(programPath()), std::string(".")}) {
    for (const auto& candidate : candidates) {
      if (auto file = findFileIgnoringCase(folder + "/" + candidate)) return *file;
    }
  }
  mustExist = false;
  return candidates.front();
}

DWORD loadErrorFor() {
  const char* text = ::dlerror();
  std::string reason = text ? text : "";
  if (reason.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  if (reason.find("invalid ELF header") != std::string::npos ||
      reason.find("wrong ELF class") != std::string::npos ||
      reason.find("file too short") != std::string::npos) {
    return ERROR_BAD_EXE_FORMAT;
  }
  return ERROR_MOD_NOT_FOUND;
}

HMODULE handleOfLoaderHandle(void* loaderHandle) {
  link_map* map = nullptr;
  if (::dlinfo(loaderHandle, RTLD_DI_LINKMAP, &map) != 0 || !map) return nullptr;
  return moduleContaining(map->l_ld);
}

}  // namespace

HMODULE moduleContaining(const void* address) {
  auto where = reinterpret_cast<uintptr_t>(address);
  for (auto& object : loadedObjects()) {
    for (const auto& segment : object.segments) {
      if (where >= segment.start && where < segment.end) return object.handle;
    }
  }
  return nullptr;
}

bool modulePath(HMODULE module, std::string& path) {
  auto object = findObject(module);
  if (!object) return false;
  path = pathOf(*object);
  return true;
}

void announceModuleEntry(HMODULE, ModuleAttach attach) {
  if (pendingAttaches) {
    pendingAttaches->push_back(attach);
  } else {
    attach();
  }
}

}  // namespace vexa::platform

using namespace vexa::platform;

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (!lpModuleName) {
    auto objects = loadedObjects();
    return objects.empty() ? nullptr : objects.front().handle;
  }
  std::string name = lpModuleName;
  HMODULE found = name.empty()         ? nullptr
                  : hasDirectory(name) ? moduleByPath(name)
                                       : moduleByFileName(name);
  if (!found) SetLastError(ERROR_MOD_NOT_FOUND);
  return found;
}

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  std::string path;
  if (!hModule) {
    path = programPath();
  } else if (!modulePath(hModule, path)) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (nSize == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (!lpFilename) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (path.size() >= nSize) {
    // Truncated but terminated, with the buffer size as the answer.
    memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
  }
  memcpy(lpFilename, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
  if (!lpLibFileName || !*lpLibFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool mustExist = false;
  std::string file = libraryFileFor(lpLibFileName, mustExist);
  if (mustExist) {
    if (::access(file.c_str(), F_OK) != 0) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    // The loader keeps the name it was given; an absolute one stays right when the current
    // folder changes.
    file = realPathOf(file);
  }

  auto& table = libraries();
  std::lock_guard<std::recursive_mutex> guard(table.lock);
  // A static initialiser of the module may load libraries itself: the list is per call.
  std::vector<ModuleAttach> attaches;
  auto* outerAttaches = pendingAttaches;
  pendingAttaches = &attaches;
  void* loaderHandle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  pendingAttaches = outerAttaches;
  if (!loaderHandle) {
    SetLastError(loadErrorFor());
    return nullptr;
  }
  // Dependencies were initialised first and are attached first; the first refusal ends the
  // load, and unloading detaches those already attached.
  bool attachFailed = false;
  for (ModuleAttach attach : attaches) {
    if (!attach()) {
      attachFailed = true;
      break;
    }
  }
  HMODULE module = handleOfLoaderHandle(loaderHandle);
  if (attachFailed || !module) {
    ::dlclose(loaderHandle);
    SetLastError(attachFailed ? ERROR_DLL_INIT_FAILED : ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  auto& entry = table.loads[module];
  entry.first = loaderHandle;
  ++entry.second;
  return module;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
  {
    auto& table = libraries();
    std::lock_guard<std::recursive_mutex> guard(table.lock);
    auto entry = table.loads.find(hLibModule);
    if (entry != table.loads.end()) {
      void* loaderHandle = entry->second.first;
      if (--entry->second.second == 0) table.loads.erase(entry);
      ::dlclose(loaderHandle);
      return TRUE;
    }
  }
  // A module this process did not load with LoadLibraryA stays: freeing it is not ours to do.
  if (findObject(hLibModule)) return TRUE;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return FALSE;
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  auto object = findObject(hModule);
  if (!object) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  // Exports by ordinal do not exist here.
  if (IS_INTRESOURCE(lpProcName) || !*lpProcName) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* loaderHandle =
      ::dlopen(object->isProgram ? nullptr : object->loaderName.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (!loaderHandle) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  void* symbol = ::dlsym(loaderHandle, lpProcName);
  ::dlclose(loaderHandle);
  // dlsym also searches the module's dependencies; GetProcAddress answers for the module alone.
  if (!symbol || moduleContaining(symbol) != hModule) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(symbol);
}

extern "C" BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule) {
  // Thread notifications are never sent, so there is nothing to turn off.
  if (findObject(hLibModule)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}

extern "C" LPSTR WINAPI CharLowerA(LPSTR lpsz) {
  // A pointer value below 64K is a single character in its low byte.
  if (IS_INTRESOURCE(lpsz)) {
    auto c = static_cast<char>(reinterpret_cast<UINT_PTR>(lpsz) & 0xFF);
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return reinterpret_cast<LPSTR>(static_cast<UINT_PTR>(static_cast<unsigned char>(c)));
  }
  for (char* p = lpsz; *p; ++p) {
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  }
  return lpsz;
}
