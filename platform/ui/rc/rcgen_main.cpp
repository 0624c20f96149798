// vexa_rcgen: turns a module's .rc file into its resource table for the Linux build.
//   vexa_rcgen [-I dir]... [-D NAME[=VALUE]]... [--depfile file.d] input.rc output.cpp
// Exits 1 with "file:line: message" on bad input, leaving any earlier output untouched.
#include "rc_emitter.h"
#include "rc_parser.h"

#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

int usage() {
  std::cerr << "usage: vexa_rcgen [-I dir]... [-D NAME[=VALUE]]... [--depfile file.d] input.rc output.cpp\n";
  return 2;
}

bool writeFile(const std::string& path, const std::string& text) {
  std::string temporary = path + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out << text;
    if (!out.flush()) return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> includeDirs;
  std::map<std::string, std::string> defines;
  std::vector<std::string> positional;
  std::string depfile;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](size_t prefix) -> std::string {
      if (a.size() > prefix) return a.substr(prefix);
      if (i + 1 < argc) return argv[++i];
      return {};
    };
    if (a.rfind("-I", 0) == 0) {
      includeDirs.push_back(value(2));
    } else if (a.rfind("-D", 0) == 0) {
      std::string d = value(2);
      size_t eq = d.find('=');
      defines[d.substr(0, eq)] = eq == std::string::npos ? "1" : d.substr(eq + 1);
    } else if (a == "--depfile") {
      depfile = value(a.size());
    } else if (!a.empty() && a[0] == '-') {
      return usage();
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) return usage();
  const std::string& input = positional[0];
  const std::string& output = positional[1];

  try {
    rcgen::Lexer lexer(includeDirs, defines);
    rcgen::Script script = rcgen::parseScript(lexer, input);
    if (!writeFile(output, rcgen::emitTable(script, input))) {
      std::cerr << output << ": cannot be written\n";
      return 1;
    }
    if (!depfile.empty()) {
      std::string deps = output + ":";
      for (const std::string& f : lexer.files()) deps += " " + f;
      for (const rcgen::FileResource& f : script.files) deps += " " + f.path;
      if (!writeFile(depfile, deps + "\n")) {
        std::cerr << depfile << ": cannot be written\n";
        return 1;
      }
    }
  } catch (const rcgen::Failure& failure) {
    std::cerr << failure.message << "\n";
    return 1;
  }
  return 0;
}
