#include "registry_query.h"

namespace vexa::platform::registry {

Query::Query(sqlite3_stmt* statement, int prepared) : statement_(statement), result_(prepared) {}

Query::~Query() {
  if (statement_) {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }
}

Query& Query::bind(int index, sqlite3_int64 value) {
  if (result_ == SQLITE_OK) result_ = sqlite3_bind_int64(statement_, index, value);
  return *this;
}

Query& Query::bindText(int index, std::string_view text) {
  // A null pointer would bind SQL NULL, not the empty name.
  if (result_ == SQLITE_OK)
    result_ = sqlite3_bind_text(statement_, index, text.empty() ? "" : text.data(),
                                static_cast<int>(text.size()), SQLITE_TRANSIENT);
  return *this;
}

Query& Query::bindBlob(int index, const void* data, size_t size) {
  // A null pointer would bind SQL NULL, not an empty value.
  if (result_ == SQLITE_OK)
    result_ = size == 0 ? sqlite3_bind_zeroblob(statement_, index, 0)
                        : sqlite3_bind_blob(statement_, index, data, static_cast<int>(size),
                                            SQLITE_TRANSIENT);
  return *this;
}

int Query::step() {
  if (result_ != SQLITE_OK) return result_;
  int stepped = sqlite3_step(statement_);
  if (stepped != SQLITE_ROW && stepped != SQLITE_DONE) result_ = stepped;
  return stepped;
}

sqlite3_int64 Query::integer(int column) const { return sqlite3_column_int64(statement_, column); }

std::string Query::text(int column) const {
  const unsigned char* chars = sqlite3_column_text(statement_, column);
  int size = sqlite3_column_bytes(statement_, column);
  return chars ? std::string(reinterpret_cast<const char*>(chars), static_cast<size_t>(size))
               : std::string();
}

const void* Query::blob(int column) const { return sqlite3_column_blob(statement_, column); }

size_t Query::bytes(int column) const {
  return static_cast<size_t>(sqlite3_column_bytes(statement_, column));
}

}  // namespace vexa::platform::registry
