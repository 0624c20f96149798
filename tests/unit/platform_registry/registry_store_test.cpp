// The store: which file it is in, files it must refuse, and concurrent writers.
#include "registry_test_helpers.h"

#include <sqlite3.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vexa/registry_store.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <thread>

extern char** environ;

using namespace registry_test;

namespace {

// Sets or unsets an environment variable for one scope.
class ScopedVariable {
public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) previous_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedVariable() {
    if (previous_) setenv(name_, previous_->c_str(), 1);
    else unsetenv(name_);
  }

private:
  const char* name_;
  std::optional<std::string> previous_;
};

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string folderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

std::string integrityOf(const std::string& path) {
  sqlite3* db = nullptr;
  std::string verdict = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
      verdict = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return verdict;
}

DWORD dwordOf(const Read& read) {
  DWORD value = 0;
  if (read.data.size() == sizeof value) std::memcpy(&value, read.data.data(), sizeof value);
  return value;
}

using RegistryStore = RegistryTest;

TEST_F(RegistryStore, FollowsTheEnvironmentAndKeepsHandlesToTheirOwnStore) {
  HKEY outer = create(HKEY_LOCAL_MACHINE, "Software\\Tarvenix\\Vexa\\Asio");
  ASSERT_EQ(setDword(outer, "BufferSize", 256), ERROR_SUCCESS);
  {
    vexa::testing::PrivateRegistry inner;
    EXPECT_EQ(std::getenv("VEXA_REGISTRY"), inner.path());
    HKEY missing = nullptr;
    EXPECT_EQ(open(HKEY_LOCAL_MACHINE, "Software\\Tarvenix", missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(read(outer, "BufferSize").status, ERROR_KEY_DELETED);
    EXPECT_EQ(setDword(outer, "BufferSize", 1), ERROR_KEY_DELETED);
  }
  EXPECT_EQ(std::getenv("VEXA_REGISTRY"), registry.path());
  EXPECT_EQ(dwordOf(read(outer, "BufferSize")), 256u);
  RegCloseKey(outer);
}

TEST(PrivateRegistry, RestoresThePreviousSettingAndRemovesItsFiles) {
  std::string path;
  {
    ScopedVariable none("VEXA_REGISTRY", nullptr);
    {
      vexa::testing::PrivateRegistry registry;
      path = registry.path();
      ASSERT_EQ(setDword(HKEY_CURRENT_USER, "Probe", 1), ERROR_SUCCESS);
    }
    EXPECT_EQ(std::getenv("VEXA_REGISTRY"), nullptr);
    struct stat info;
    EXPECT_NE(stat(folderOf(path).c_str(), &info), 0);

    ScopedVariable some("VEXA_REGISTRY", "/nonexistent/elsewhere.db");
    { vexa::testing::PrivateRegistry registry; }
    EXPECT_STREQ(std::getenv("VEXA_REGISTRY"), "/nonexistent/elsewhere.db");
  }
}

TEST_F(RegistryStore, UnusableFilesGiveErrorsAndAreLeftAsTheyWere) {
  const std::string folder = folderOf(registry.path());
  HKEY key = nullptr;
  {
    const std::string garbage = folder + "/garbage.db";
    std::string junk(8192, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 7 + 3);
    std::ofstream(garbage, std::ios::binary) << junk;
    ScopedVariable store("VEXA_REGISTRY", garbage.c_str());
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &key), ERROR_BADDB);
    EXPECT_EQ(setDword(HKEY_CURRENT_USER, "V", 1), ERROR_BADDB);
    EXPECT_EQ(read(HKEY_CURRENT_USER, "V").status, ERROR_BADDB);
    EXPECT_EQ(contents(garbage), junk);
    unlink(garbage.c_str());
  }
  {
    // Another program's database is not taken over.
    const std::string foreign = folder + "/foreign.db";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(foreign.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "CREATE TABLE notes(text TEXT)", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    const std::string before = contents(foreign);
    ScopedVariable store("VEXA_REGISTRY", foreign.c_str());
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &key), ERROR_BADDB);
    EXPECT_EQ(contents(foreign), before);
    unlink(foreign.c_str());
  }
  {
    ScopedVariable store("VEXA_REGISTRY", (folder + "/no/such/folder/registry.db").c_str());
    EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", &key), ERROR_CANTOPEN);
  }
  {
    ScopedVariable store("VEXA_REGISTRY", folder.c_str());
    EXPECT_EQ(setDword(HKEY_CURRENT_USER, "V", 1), ERROR_CANTOPEN);
  }
  EXPECT_EQ(key, nullptr);
  // Back on a good file, everything works again.
  EXPECT_EQ(setDword(HKEY_CURRENT_USER, "V", 1), ERROR_SUCCESS);
}

TEST_F(RegistryStore, WithoutAChosenFileTheStoreIsInTheConfigurationFolder) {
  const std::string config = folderOf(registry.path()) + "/config";
  {
    ScopedVariable home("XDG_CONFIG_HOME", config.c_str());
    ScopedVariable store("VEXA_REGISTRY", nullptr);
    ASSERT_EQ(setDword(HKEY_CURRENT_USER, "Where", 1), ERROR_SUCCESS);
    vexa::platform::closeRegistryStore();
  }
  const std::string file = config + "/vexa/registry.db";
  struct stat info;
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(integrityOf(file), "ok");
  EXPECT_EQ(read(HKEY_CURRENT_USER, "Where").status, ERROR_FILE_NOT_FOUND);
  unlink(file.c_str());
  for (const char* suffix : {"-wal", "-shm"}) unlink((file + suffix).c_str());
  rmdir((config + "/vexa").c_str());
  rmdir(config.c_str());
}

TEST_F(RegistryStore, ThreadsWritingAtOnceLoseNothing) {
  constexpr int kThreads = 4, kValues = 100;
  std::vector<std::thread> writers;
  for (int t = 0; t < kThreads; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < kValues; ++i) {
        HKEY key = nullptr;
        if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Threads", &key) != ERROR_SUCCESS) continue;
        std::string name = "t" + std::to_string(t) + "-" + std::to_string(i);
        setDword(key, name.c_str(), static_cast<DWORD>(i));
        RegCloseKey(key);
      }
    });
  for (auto& writer : writers) writer.join();

  HKEY key = nullptr;
  ASSERT_EQ(open(HKEY_CURRENT_USER, "Software\\Threads", key), ERROR_SUCCESS);
  EXPECT_EQ(valueNames(key).size(), static_cast<size_t>(kThreads * kValues));
  EXPECT_EQ(dwordOf(read(key, "t3-99")), 99u);
  RegCloseKey(key);
}

pid_t startWriter(const char* prefix, const char* count) {
  char* argv[] = {const_cast<char*>(REGISTRY_WRITER), const_cast<char*>(prefix),
                  const_cast<char*>(count), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, REGISTRY_WRITER, nullptr, nullptr, argv, environ) != 0) return -1;
  return pid;
}

int exitStatusOf(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(RegistryStore, TwoProcessesWritingAtOnceLoseNothing) {
  constexpr int kValues = 300;
  // This process holds the store open too, as a host with a driver loaded would.
  ASSERT_EQ(setDword(HKEY_CURRENT_USER, "Present", 1), ERROR_SUCCESS);
  pid_t first = startWriter("first", "300");
  pid_t second = startWriter("second", "300");
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_EQ(exitStatusOf(first), 0);
  EXPECT_EQ(exitStatusOf(second), 0);

  HKEY key = nullptr;
  ASSERT_EQ(open(HKEY_CURRENT_USER, "Software\\VexaTest\\Concurrent", key), ERROR_SUCCESS);
  for (const char* prefix : {"first", "second"})
    for (int i = 0; i < kValues; ++i) {
      std::string name = std::string(prefix) + "-" + std::to_string(i);
      Read value = read(key, name.c_str());
      ASSERT_EQ(value.status, ERROR_SUCCESS) << name;
      EXPECT_EQ(dwordOf(value), static_cast<DWORD>(i)) << name;
    }
  Read shared = read(key, "Shared");
  const std::string last(shared.data.begin(), shared.data.end());
  EXPECT_TRUE(last == std::string("first", 6) || last == std::string("second", 7)) << last;
  EXPECT_EQ(valueNames(key).size(), 2u * kValues + 1);
  RegCloseKey(key);
  EXPECT_EQ(integrityOf(registry.path()), "ok");
}

}  // namespace
