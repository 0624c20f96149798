// The entry of a Windows GUI program: main() hands WinMain the program's instance handle and
// its command line without the program name, quoted so that the program's own parser (the
// Windows rules for quotes and backslashes) gets back the arguments it was given.

#include <windows.h>

#include <string>

namespace {

std::string quotedArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    return argument;
  }
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal except before a quote, where they must be doubled.
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  quoted += '"';
  return quoted;
}

}  // namespace

int main(int argc, char** argv) {
  static std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += quotedArgument(argv[i]);
  }
  return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
}
