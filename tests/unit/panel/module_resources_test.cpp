// The resource table this test program carries, generated from the modules' .rc file.
#include "buffer_size_panel.h"

#include <vexa/resource_table.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

using namespace vexa::platform;

TEST(ModuleResourcesTest, DialogOneIsThePanelTemplateWithThisModulesCaption) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  const ResourceEntry* entry = findResource(instance, kResourceDialog, IDD_BUFFER_SIZE_PANEL);
  ASSERT_NE(entry, nullptr);
  const auto* d = static_cast<const DialogResource*>(entry->data);
  EXPECT_STREQ(d->caption, "TX EASI Control Panel");
  EXPECT_STREQ(d->fontName, "MS Sans Serif");
  EXPECT_EQ(d->pointSize, 8);
  EXPECT_EQ(d->cx, 203);
  EXPECT_EQ(d->cy, 102);
  EXPECT_EQ(d->style & 0x00080000u, 0u) << "no system menu, so no close box";
  EXPECT_EQ(d->style & 0x00C00000u, 0x00C00000u) << "a caption";
  ASSERT_EQ(d->itemCount, 8);

  struct Expected {
    const char* className;
    const char* text;
    int id;
    short x, y, cx, cy;
  };
  const Expected expected[] = {
      {"Static", "Buffer Size", -1, 4, 4, 192, 13},
      {"Static", "low", -1, 0, 44, 24, 12},
      {"msctls_trackbar32", "Buffering", IDC_BUFFER_SIZE_SLIDER, 4, 20, 192, 20},
      {"Static", "high", -1, 176, 44, 24, 12},
      {"Button", "&Done", IDOK, 68, 76, 60, 16},
      {"Static", "0", IDC_BUFFER_SIZE_LABEL, 28, 44, 144, 12},
      {"Static", nullptr, -1, 136, 72, 60, 24},
      {"Static", "", -1, 4, 64, 192, 1},
  };
  for (int i = 0; i < d->itemCount; ++i) {
    SCOPED_TRACE(i);
    const DialogItemResource& item = d->items[i];
    EXPECT_STREQ(item.className, expected[i].className);
    if (expected[i].text) {
      EXPECT_STREQ(item.text, expected[i].text);
    }
    EXPECT_EQ(item.id, expected[i].id);
    EXPECT_EQ(item.x, expected[i].x);
    EXPECT_EQ(item.y, expected[i].y);
    EXPECT_EQ(item.cx, expected[i].cx);
    EXPECT_EQ(item.cy, expected[i].cy);
  }
  EXPECT_EQ(d->items[2].style & (TBS_AUTOTICKS | 0x00030000u), TBS_AUTOTICKS | 0x00030000u)
      << "automatic ticks, tab stop, group";
  EXPECT_EQ(d->items[4].style & 0x0Fu, 1u) << "the default push button";
  EXPECT_EQ(d->items[6].textOrdinal, IDB_PRODUCT_PICTURE);
  EXPECT_EQ(d->items[6].style & 0x1FFFu, 0x120Eu) << "bitmap, image centred, sunken";
  EXPECT_EQ(d->items[7].style & 0x1Fu, 0x10u) << "etched horizontal rule";
}

TEST(ModuleResourcesTest, PictureIconAndVersionAreThere) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  const ResourceEntry* bitmap = findResource(instance, kResourceBitmap, IDB_PRODUCT_PICTURE);
  ASSERT_NE(bitmap, nullptr);
  ASSERT_GT(bitmap->size, 54u);
  EXPECT_EQ(std::memcmp(bitmap->data, "BM", 2), 0);

  const ResourceEntry* icon = findResource(instance, kResourceIconGroup, IDI_MODULE_ICON);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(std::memcmp(icon->data, "\0\0\1\0", 4), 0);

  const ResourceEntry* entry = findResource(instance, kResourceVersion, 1);
  ASSERT_NE(entry, nullptr);
  const auto* v = static_cast<const VersionResource*>(entry->data);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(v->fileVersion[i], (i < 2 ? 2 : 0));
    EXPECT_EQ(v->productVersion[i], (i < 2 ? 2 : 0));
  }
  std::map<std::string, std::string> strings;
  for (int i = 0; i < v->stringCount; ++i) strings[v->strings[i].name] = v->strings[i].value;
  EXPECT_EQ(strings["CompanyName"], "Tarvenix");
  EXPECT_EQ(strings["FileVersion"], "2.2.0.0");
  EXPECT_EQ(strings["ProductVersion"], "2.2.0.0");
  EXPECT_EQ(strings["OriginalFilename"], "buffer_size_panel_test");

  // Any address inside the module finds the same table; the platform library has none.
  EXPECT_EQ(findResource(reinterpret_cast<HMODULE>(
                             const_cast<void*>(reinterpret_cast<const void*>(&findResource))),
                         kResourceDialog, 1),
            nullptr);
  EXPECT_EQ(findResource(nullptr, kResourceDialog, 1), nullptr);
  EXPECT_EQ(findResource(instance, kResourceDialog, 2), nullptr);
}

}  // namespace
