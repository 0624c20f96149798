// A module's resources on Linux. The build turns each module's .rc file into one ResourceTable
// (platform/ui/rc) that registers itself from a static constructor, keyed by the base address
// of the module that holds it: the module's instance handle.
#pragma once

#include <windows.h>

#include <stddef.h>

namespace vexa::platform {

// Resource types, with the values of RT_* on Windows.
constexpr int kResourceBitmap = 2;
constexpr int kResourceDialog = 5;
constexpr int kResourceIconGroup = 14;
constexpr int kResourceVersion = 16;

struct DialogItemResource {
  const char* className;  // "Static", "Button", "msctls_trackbar32", ...
  const char* text;       // null when the text names a resource by number
  int textOrdinal;        // that number (a static's bitmap), -1 otherwise
  int id;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;  // dialog units
};

struct DialogResource {
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;  // dialog units
  const char* caption;
  const char* fontName;
  int pointSize;
  const DialogItemResource* items;
  int itemCount;
};

struct VersionString {
  const char* name;
  const char* value;
};

struct VersionResource {
  WORD fileVersion[4];
  WORD productVersion[4];
  DWORD fileOs;
  DWORD fileType;
  const char* stringBlock;  // language and code page, e.g. "040904E4"
  const VersionString* strings;
  int stringCount;
};

// data points at a DialogResource or VersionResource, or at the bytes of a .bmp/.ico file.
struct ResourceEntry {
  int type;
  int id;
  const void* data;
  size_t size;
};

struct ResourceTable {
  const ResourceEntry* entries;
  int count;
};

// Called by the generated tables. addressInModule is any address inside the module.
DECLSPEC_EXPORT void registerResourceTable(const void* addressInModule, const ResourceTable* table);
DECLSPEC_EXPORT void unregisterResourceTable(const ResourceTable* table);

// The resource of a module (an instance handle, or any address inside the module); null when
// the module carries no such resource.
DECLSPEC_EXPORT const ResourceEntry* findResource(HMODULE module, int type, int id);
// The module (base address) that holds an address; null when no loaded module does.
DECLSPEC_EXPORT HMODULE moduleOfAddress(const void* address);

}  // namespace vexa::platform
