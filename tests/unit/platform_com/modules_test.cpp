#include <windows.h>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "test_files.h"
#include "test_server.h"

namespace fs = std::filesystem;

namespace {

std::string fileNameOf(HMODULE module) {
  char path[4096];
  DWORD length = GetModuleFileNameA(module, path, sizeof path);
  return length ? std::string(path, length) : "";
}

std::string runAndRead(const std::string& command, int& status) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return "";
  std::string output;
  char buffer[256];
  while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  status = pclose(pipe);
  return output;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

TEST(ModuleHandles, ProgramAndLibrariesAreFoundByNameIgnoringCase) {
  HMODULE program = GetModuleHandleA(nullptr);
  ASSERT_NE(program, nullptr);
  EXPECT_EQ(fileNameOf(nullptr), fs::canonical("/proc/self/exe").string());
  EXPECT_EQ(fileNameOf(program), fileNameOf(nullptr));
  // A trailing dot names a file without extension, the program here.
  EXPECT_EQ(GetModuleHandleA("PLATFORM_MODULES_TEST."), program);

  HMODULE platform = GetModuleHandleA("libvexaplatform.so");
  ASSERT_NE(platform, nullptr);
  EXPECT_NE(platform, program);
  EXPECT_EQ(GetModuleHandleA("LibVexaPlatform.DLL"), platform);
  EXPECT_EQ(GetModuleHandleA("libvexaplatform"), platform);  // ".dll" implied
  // Resources are found by the loader's own base address: the handles must be the same.
  Dl_info info;
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&GetModuleHandleA), &info), 0);
  EXPECT_EQ(info.dli_fbase, platform);
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&fileNameOf), &info), 0);
  EXPECT_EQ(info.dli_fbase, program);
  std::string path = fileNameOf(platform);
  EXPECT_EQ(fs::path(path).filename(), "libvexaplatform.so");
  std::string dllPath = path.substr(0, path.size() - 3) + ".dll";
  EXPECT_EQ(GetModuleHandleA(upper(dllPath).c_str()), platform);

  SetLastError(0);
  EXPECT_EQ(GetModuleHandleA("nosuchmodule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(GetModuleHandleA(""), nullptr);
}

TEST(ModuleHandles, FileNameFollowsTheWindowsTruncationRules) {
  std::string full = fileNameOf(nullptr);
  const DWORD length = static_cast<DWORD>(full.size());
  std::string buffer(length + 8, '#');

  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), length + 1), length);
  EXPECT_EQ(buffer.substr(0, length + 1), full + '\0');

  buffer.assign(length + 8, '#');
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), length), length);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(buffer.substr(0, length), full.substr(0, length - 1) + '\0');
  EXPECT_EQ(buffer[length], '#');

  buffer.assign(8, '#');
  EXPECT_EQ(GetModuleFileNameA(nullptr, buffer.data(), 0), 0u);
  EXPECT_EQ(buffer, "########");

  int local = 0;
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(&local), buffer.data(), 8), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(LoadLibrary, LowerCasedPathOfAModuleInAMixedCaseFolderLoadsItOnce) {
  MixedCaseCopy copy;
  int attaches = environmentCount(TEST_SERVER_ATTACHES);
  int detaches = environmentCount(TEST_SERVER_DETACHES);

  HMODULE module = LoadLibraryA(copy.lowerCasedPath().c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(environmentCount(TEST_SERVER_ATTACHES), attaches + 1);
  EXPECT_STREQ(getenv(TEST_SERVER_INSTANCE_OK), "1");
  EXPECT_STREQ(getenv(TEST_SERVER_STATICS_READY), "1");
  EXPECT_EQ(fileNameOf(module), fs::canonical(copy.path()).string());
  EXPECT_EQ(GetModuleHandleA("COM_TEST_SERVER.DLL"), module);
  EXPECT_EQ(GetModuleHandleA(copy.lowerCasedPath().c_str()), module);

  // The Windows name of the same file is the same module, counted once more.
  std::string dllName = copy.path().substr(0, copy.path().size() - 3) + ".dll";
  EXPECT_EQ(LoadLibraryA(dllName.c_str()), module);
  EXPECT_EQ(environmentCount(TEST_SERVER_ATTACHES), attaches + 1);
  EXPECT_TRUE(DisableThreadLibraryCalls(module));

  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(environmentCount(TEST_SERVER_DETACHES), detaches);
  EXPECT_EQ(GetModuleHandleA("com_test_server.dll"), module);
  EXPECT_TRUE(FreeLibrary(module));
  EXPECT_EQ(environmentCount(TEST_SERVER_DETACHES), detaches + 1);
  EXPECT_EQ(GetModuleHandleA("com_test_server.dll"), nullptr);
}

TEST(LoadLibrary, OnlyTheExportListIsVisible) {
  HMODULE module = LoadLibraryA(testServerFile().c_str());
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_NE(GetProcAddress(module, "DllGetClassObject"), nullptr);
  EXPECT_NE(GetProcAddress(module, "DllCanUnloadNow"), nullptr);
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(module, "testServerHiddenHelper"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  // Found in the module's dependencies, not in the module.
  EXPECT_EQ(GetProcAddress(module, "malloc"), nullptr);
  EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(1)), nullptr);
  EXPECT_TRUE(FreeLibrary(module));

  int status = -1;
  std::string symbols =
      runAndRead(std::string(VEXA_NM) + " -D --defined-only '" + testServerFile() + "'", status);
  ASSERT_EQ(status, 0);
  std::set<std::string> names;
  std::istringstream lines(symbols);
  for (std::string line; std::getline(lines, line);) {
    auto space = line.find_last_of(' ');
    if (space != std::string::npos) names.insert(line.substr(space + 1));
  }
  EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllMain"}))
      << symbols;
}

TEST(LoadLibrary, AModuleRefusingToAttachIsUnloadedAgain) {
  int attaches = environmentCount(TEST_SERVER_ATTACHES);
  int detaches = environmentCount(TEST_SERVER_DETACHES);
  setenv(TEST_SERVER_REFUSE_ATTACH, "1", 1);
  SetLastError(0);
  HMODULE module = LoadLibraryA(testServerFile().c_str());
  unsetenv(TEST_SERVER_REFUSE_ATTACH);

  EXPECT_EQ(module, nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
  EXPECT_EQ(environmentCount(TEST_SERVER_ATTACHES), attaches + 1);
  EXPECT_EQ(environmentCount(TEST_SERVER_DETACHES), detaches + 1);
  EXPECT_EQ(GetModuleHandleA("com_test_server.dll"), nullptr);

  // A bare name is found beside the program.
  module = LoadLibraryA("Com_Test_Server.DLL");
  ASSERT_NE(module, nullptr) << GetLastError();
  EXPECT_EQ(fileNameOf(module), fs::canonical(testServerFile()).string());
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(LoadLibrary, BadNamesAndHandlesFailWithTheirErrors) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(LoadLibraryA(""), nullptr);

  SetLastError(0);
  EXPECT_EQ(LoadLibraryA((testsFolder() + "/no/such/module.dll").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(LoadLibraryA("no_such_module_anywhere.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

  MixedCaseCopy folder;
  std::string junk = folder.root() + "/junk.so";
  std::ofstream(junk) << "not a module";
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA((folder.root() + "/JUNK.DLL").c_str()), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));

  int local = 0;
  auto bogus = reinterpret_cast<HMODULE>(&local);
  EXPECT_FALSE(FreeLibrary(bogus));
  EXPECT_EQ(GetProcAddress(bogus, "DllMain"), nullptr);
  EXPECT_FALSE(DisableThreadLibraryCalls(nullptr));
  // Modules this process did not load itself stay loaded.
  HMODULE platform = GetModuleHandleA("libvexaplatform.dll");
  EXPECT_TRUE(FreeLibrary(platform));
  EXPECT_EQ(GetModuleHandleA("libvexaplatform.dll"), platform);
}

TEST(CharLower, LowersAsciiOnlyInPlaceAndSingleCharacters) {
  char text[] = "C:\\Program Files\\TX\\TX_VA.DLL \xC3\x84";
  EXPECT_EQ(CharLowerA(text), text);
  EXPECT_STREQ(text, "c:\\program files\\tx\\tx_va.dll \xC3\x84");
  EXPECT_EQ(reinterpret_cast<UINT_PTR>(CharLowerA(reinterpret_cast<LPSTR>(UINT_PTR{'Q'}))),
            UINT_PTR{'q'});
}

TEST(WinMainEntry, PassesInstanceShowCommandAndQuotedArguments) {
  int status = -1;
  std::string output =
      runAndRead("'" + testsFolder() +
                     "/winmain_echo' plain 'two words' '' 'say \"hi\"' 'dir\\' 'a\\b' 'my dir\\'",
                 status);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
  EXPECT_EQ(output,
            "instance=program previous=null show=10\n"
            "[plain \"two words\" \"\" \"say \\\"hi\\\"\" dir\\ a\\b \"my dir\\\\\"]\n");
}
