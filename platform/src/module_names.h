// How Windows module names map onto the files of this platform: ".dll" is ".so", a name without
// extension means ".dll", and a path that does not exist as written is looked up without regard
// to case, because COM registration stores module paths in lower case.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vexa::platform {

std::string lowerAscii(std::string text);
bool equalsIgnoringCase(const std::string& a, const std::string& b);

std::string fileNameOf(const std::string& path);
std::string directoryOf(const std::string& path);
bool hasDirectory(const std::string& name);

// The file names a module name can stand for, most likely first: "x.dll" -> "x.so", "x.dll";
// "x" -> "x.so", "x.dll"; "x." -> "x"; anything else as written.
std::vector<std::string> moduleFileNames(const std::string& name);

// The existing file at path, found as written or else component by component ignoring case
// (the first match in name order when a folder holds several). Nothing when there is none.
std::optional<std::string> findFileIgnoringCase(const std::string& path);

}  // namespace vexa::platform
