#include "rc_emitter.h"

#include <cstdio>
#include <sstream>

namespace rcgen {
namespace {

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F && c != '?') {
      out += static_cast<char>(c);
    } else {
      char octal[8];
      std::snprintf(octal, sizeof octal, "\\%03o", c);
      out += octal;
    }
  }
  return out + "\"";
}

std::string hex(uint32_t v) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08Xu", v);
  return buffer;
}

}  // namespace

std::string emitTable(const Script& script, const std::string& sourceName) {
  std::ostringstream o;
  o << "// Generated from " << sourceName << " by vexa_rcgen at build time; do not edit.\n"
    << "#include <vexa/resource_table.h>\n\n"
    << "namespace {\n\nusing namespace vexa::platform;\n\n";

  for (const Dialog& d : script.dialogs) {
    o << "const DialogItemResource dialog" << d.id << "Items[] = {\n";
    for (const DialogItem& i : d.items) {
      o << "    {" << quoted(i.className) << ", "
        << (i.textOrdinal >= 0 ? std::string("nullptr") : quoted(i.text)) << ", " << i.textOrdinal
        << ", " << i.id << ", " << hex(i.style) << ", " << hex(i.exStyle) << ", " << i.x << ", "
        << i.y << ", " << i.cx << ", " << i.cy << "},\n";
    }
    if (d.items.empty()) o << "    {nullptr, nullptr, -1, 0, 0, 0, 0, 0, 0, 0},\n";
    o << "};\n";
    o << "const DialogResource dialog" << d.id << " = {" << hex(d.style) << ", " << hex(d.exStyle)
      << ", " << d.x << ", " << d.y << ", " << d.cx << ", " << d.cy << ", " << quoted(d.caption)
      << ", " << quoted(d.fontName) << ", " << d.pointSize << ", dialog" << d.id << "Items, "
      << d.items.size() << "};\n\n";
  }

  for (size_t f = 0; f < script.files.size(); ++f) {
    const FileResource& file = script.files[f];
    o << "// " << file.path << "\n";
    o << "const unsigned char file" << f << "[] = {";
    for (size_t b = 0; b < file.bytes.size(); ++b) {
      if (b % 16 == 0) o << "\n   ";
      o << " " << static_cast<unsigned>(file.bytes[b]) << ",";
    }
    o << "\n};\n\n";
  }

  for (const Version& v : script.versions) {
    o << "const VersionString version" << v.id << "Strings[] = {\n";
    for (const auto& [name, value] : v.strings) o << "    {" << quoted(name) << ", " << quoted(value) << "},\n";
    if (v.strings.empty()) o << "    {nullptr, nullptr},\n";
    o << "};\n";
    o << "const VersionResource version" << v.id << " = {{" << v.fileVersion[0] << ", "
      << v.fileVersion[1] << ", " << v.fileVersion[2] << ", " << v.fileVersion[3] << "}, {"
      << v.productVersion[0] << ", " << v.productVersion[1] << ", " << v.productVersion[2] << ", "
      << v.productVersion[3] << "}, " << hex(v.fileOs) << ", " << hex(v.fileType) << ", "
      << quoted(v.stringBlock) << ", version" << v.id << "Strings, " << v.strings.size() << "};\n\n";
  }

  o << "const ResourceEntry entries[] = {\n";
  size_t count = 0;
  for (const Dialog& d : script.dialogs) {
    o << "    {kResourceDialog, " << d.id << ", &dialog" << d.id << ", sizeof dialog" << d.id << "},\n";
    ++count;
  }
  for (size_t f = 0; f < script.files.size(); ++f, ++count)
    o << "    {" << (script.files[f].type == 2 ? "kResourceBitmap" : "kResourceIconGroup") << ", "
      << script.files[f].id << ", file" << f << ", sizeof file" << f << "},\n";
  for (const Version& v : script.versions) {
    o << "    {kResourceVersion, " << v.id << ", &version" << v.id << ", sizeof version" << v.id << "},\n";
    ++count;
  }
  if (count == 0) o << "    {0, 0, nullptr, 0},\n";
  o << "};\n\n"
    << "const ResourceTable table = {entries, " << count << "};\n\n"
    << "// Registers the table under this module's instance handle while the module is loaded.\n"
    << "struct Registration {\n"
    << "  Registration() { registerResourceTable(&table, &table); }\n"
    << "  ~Registration() { unregisterResourceTable(&table); }\n"
    << "} registration;\n\n"
    << "}  // namespace\n";
  return o.str();
}

}  // namespace rcgen
