// What a module's .rc file holds, as read by the parser and written out by the emitter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rcgen {

struct DialogItem {
  std::string className;
  std::string text;
  int textOrdinal = -1;  // the text names a resource by number
  int id = -1;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
};

struct Dialog {
  int id = 0;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string caption;
  std::string fontName;
  int pointSize = 0;
  std::vector<DialogItem> items;
};

struct FileResource {
  int type = 0;  // 2 bitmap, 14 icon group
  int id = 0;
  std::string path;
  std::vector<uint8_t> bytes;
};

struct Version {
  int id = 1;
  uint16_t fileVersion[4] = {0, 0, 0, 0};
  uint16_t productVersion[4] = {0, 0, 0, 0};
  uint32_t fileOs = 0;
  uint32_t fileType = 0;
  std::string stringBlock;
  std::vector<std::pair<std::string, std::string>> strings;
};

struct Script {
  std::vector<Dialog> dialogs;
  std::vector<FileResource> files;
  std::vector<Version> versions;
};

}  // namespace rcgen
