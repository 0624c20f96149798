// One prepared statement of the registry store, with its errors carried along so that a
// chain of binds and a step reports the first failure.
#pragma once

#include <sqlite3.h>

#include <string>
#include <string_view>

namespace vexa::platform::registry {

// A statement from the connection's cache, reset when this goes. The cache holds one statement
// per SQL text, so only one Query of a given text may be alive at a time.
class Query {
public:
  Query(sqlite3_stmt* statement, int prepared);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  Query& bind(int index, sqlite3_int64 value);
  Query& bindText(int index, std::string_view text);
  Query& bindBlob(int index, const void* data, size_t size);
  // SQLITE_ROW, SQLITE_DONE or the first error met while preparing, binding or stepping.
  int step();

  sqlite3_int64 integer(int column) const;
  std::string text(int column) const;
  const void* blob(int column) const;
  size_t bytes(int column) const;

private:
  sqlite3_stmt* statement_;
  int result_;
};

}  // namespace vexa::platform::registry
