#include "registry_store.h"

#include "registry_location.h"

#include <vexa/registry_store.h>

#include <unistd.h>

#include <unordered_map>

namespace vexa::platform::registry {
namespace {

// Writers of other processes hold the database only for one short transaction each; a wait
// this long means something is stuck, and the call fails instead of hanging.
constexpr int kBusyTimeoutMs = 30000;
constexpr sqlite3_int64 kFormat = 1;

struct Store {
  std::mutex lock;
  sqlite3* db = nullptr;
  std::string path;
  pid_t owner = 0;
  std::uint64_t storeId = 0;
  KeyId classesId = 0;
  std::unordered_map<std::string, sqlite3_stmt*> statements;
};

Store& store() {
  // Never destroyed: registry calls may still come from other threads while the process exits.
  static Store* instance = new Store;
  return *instance;
}

void closeConnection(Store& s) {
  for (auto& entry : s.statements) sqlite3_finalize(entry.second);
  s.statements.clear();
  if (s.db) sqlite3_close_v2(s.db);
  s.db = nullptr;
  s.path.clear();
}

int execute(sqlite3* db, const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

int singleInteger(sqlite3* db, const char* sql, sqlite3_int64& value, bool& found) {
  sqlite3_stmt* statement = nullptr;
  int result = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
  found = false;
  if (result == SQLITE_OK) {
    result = sqlite3_step(statement);
    if (result == SQLITE_ROW) {
      found = sqlite3_column_type(statement, 0) == SQLITE_INTEGER;
      value = sqlite3_column_int64(statement, 0);
      result = SQLITE_OK;
    } else if (result == SQLITE_DONE) {
      result = SQLITE_OK;
    }
  }
  sqlite3_finalize(statement);
  return result;
}

// Creates the tables and the predefined keys in an empty database. The check is repeated
// under the write lock because another process may have done it meanwhile.
int createLayout(sqlite3* db) {
  int result = execute(db, "BEGIN IMMEDIATE");
  if (result != SQLITE_OK) return result;
  sqlite3_int64 tables = 0;
  bool found = false;
  result = singleInteger(db, "SELECT count(*) FROM sqlite_master WHERE name = 'meta'", tables, found);
  if (result == SQLITE_OK && tables == 0)
    result = execute(db,
        "CREATE TABLE meta(name TEXT PRIMARY KEY, value);"
        "CREATE TABLE keys("
        "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
        "  parent INTEGER REFERENCES keys(id),"
        "  name TEXT NOT NULL COLLATE NOCASE,"
        "  UNIQUE(parent, name));"
        "CREATE TABLE reg_values("
        "  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
        "  name TEXT NOT NULL COLLATE NOCASE,"
        "  type INTEGER NOT NULL,"
        "  data BLOB NOT NULL,"
        "  PRIMARY KEY(key, name));"
        "INSERT INTO keys(id, parent, name) VALUES"
        "  (1, NULL, 'HKEY_LOCAL_MACHINE'), (2, NULL, 'HKEY_CURRENT_USER'), (3, NULL, 'HKEY_USERS');"
        "INSERT INTO keys(parent, name) VALUES (1, 'Software');"
        "INSERT INTO keys(parent, name) VALUES (last_insert_rowid(), 'Classes');"
        "INSERT INTO meta VALUES ('classes', last_insert_rowid());"
        "INSERT INTO meta VALUES ('format', 1);"
        "INSERT INTO meta VALUES ('store', random());");
  if (result == SQLITE_OK) result = execute(db, "COMMIT");
  if (result != SQLITE_OK) execute(db, "ROLLBACK");
  return result;
}

LONG readLayout(Store& s) {
  sqlite3_int64 value = 0;
  bool found = false;
  int result = singleInteger(s.db, "SELECT value FROM meta WHERE name = 'format'", value, found);
  if (result != SQLITE_OK) return win32FromSqlite(result, false);
  if (!found || value != kFormat) return ERROR_BADDB;
  result = singleInteger(s.db, "SELECT value FROM meta WHERE name = 'store'", value, found);
  if (result != SQLITE_OK) return win32FromSqlite(result, false);
  if (!found) return ERROR_BADDB;
  s.storeId = static_cast<std::uint64_t>(value);
  result = singleInteger(s.db, "SELECT value FROM meta WHERE name = 'classes'", value, found);
  if (result != SQLITE_OK) return win32FromSqlite(result, false);
  if (!found) return ERROR_BADDB;
  s.classesId = value;
  return ERROR_SUCCESS;
}

LONG openConnection(Store& s, const std::string& path, bool isDefault) {
  if (path.empty()) return ERROR_CANTOPEN;
  if (isDefault && !makeFolders(path.substr(0, path.rfind('/')))) return ERROR_CANTOPEN;
  int result = sqlite3_open_v2(path.c_str(), &s.db,
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                               nullptr);
  if (result != SQLITE_OK) {
    sqlite3_close_v2(s.db);
    s.db = nullptr;
    return ERROR_CANTOPEN;
  }
  s.path = path;
  s.owner = getpid();
  sqlite3_busy_timeout(s.db, kBusyTimeoutMs);
  execute(s.db, "PRAGMA foreign_keys = ON");

  // The first statement that reads the file tells whether it is a database at all; a file
  // that is not is left exactly as it was.
  sqlite3_int64 ours = 0, objects = 0;
  bool found = false;
  result = singleInteger(s.db, "SELECT count(*) FROM sqlite_master WHERE name = 'meta'", ours, found);
  if (result == SQLITE_OK)
    result = singleInteger(s.db, "SELECT count(*) FROM sqlite_master", objects, found);
  if (result != SQLITE_OK) return win32FromSqlite(result, false);
  if (ours == 0 && objects != 0) return ERROR_BADDB;  // another program's database

  // WAL lets readers go on while one process writes; a file we cannot switch (read-only)
  // keeps its journal mode and still works.
  execute(s.db, "PRAGMA journal_mode = WAL");
  execute(s.db, "PRAGMA synchronous = NORMAL");
  if (ours == 0) {
    result = createLayout(s.db);
    if (result != SQLITE_OK) return win32FromSqlite(result, true);
  }
  return readLayout(s);
}

}  // namespace

LONG win32FromSqlite(int sqliteResult, bool writing) {
  switch (sqliteResult & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_OUTOFMEMORY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_ACCESS_DENIED;
    case SQLITE_CANTOPEN:
      return ERROR_CANTOPEN;
    case SQLITE_IOERR:
    case SQLITE_FULL:
      return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    default:  // corrupt, not a database, or not our layout
      return ERROR_BADDB;
  }
}

StoreTransaction::StoreTransaction(Kind kind) : guard_(store().lock), kind_(kind) {
  Store& s = store();
  // A forked child must not touch its parent's connection: it is dropped unclosed and the
  // child opens its own.
  if (s.db && s.owner != getpid()) {
    s.db = nullptr;
    s.statements.clear();
    s.path.clear();
  }
  bool isDefault = false;
  std::string path = registryPath(isDefault);
  if (s.db && s.path != path) closeConnection(s);
  if (!s.db) {
    status_ = openConnection(s, path, isDefault);
    if (status_ != ERROR_SUCCESS) {
      closeConnection(s);
      return;
    }
  }
  int result = execute(s.db, kind == Write ? "BEGIN IMMEDIATE" : "BEGIN");
  if (result != SQLITE_OK) {
    status_ = failure(result);
    return;
  }
  open_ = true;
}

StoreTransaction::~StoreTransaction() {
  if (open_) execute(store().db, "ROLLBACK");
}

LONG StoreTransaction::commit() {
  if (!open_) return status_;
  int result = execute(store().db, "COMMIT");
  if (result == SQLITE_OK) {
    open_ = false;
    return ERROR_SUCCESS;
  }
  return failure(result);
}

Query StoreTransaction::query(const char* sql) {
  Store& s = store();
  auto found = s.statements.find(sql);
  if (found != s.statements.end()) return Query(found->second, SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  int result = sqlite3_prepare_v3(s.db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
  if (result != SQLITE_OK) {
    sqlite3_finalize(statement);
    return Query(nullptr, result);
  }
  s.statements.emplace(sql, statement);
  return Query(statement, SQLITE_OK);
}

LONG StoreTransaction::failure(int sqliteResult) const {
  return win32FromSqlite(sqliteResult, kind_ == Write);
}

std::uint64_t StoreTransaction::storeId() const { return store().storeId; }

KeyId StoreTransaction::classesRootId() const { return store().classesId; }

}  // namespace vexa::platform::registry

void vexa::platform::closeRegistryStore() {
  auto& s = registry::store();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.db && s.owner != getpid()) {
    s.db = nullptr;
    s.statements.clear();
    s.path.clear();
  }
  registry::closeConnection(s);
}
