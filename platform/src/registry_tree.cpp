#include "registry_tree.h"

namespace vexa::platform::registry {
namespace {

void copyValue(const Query& row, int typeColumn, int dataColumn, StoredValue& value) {
  value.type = static_cast<DWORD>(row.integer(typeColumn));
  const BYTE* bytes = static_cast<const BYTE*>(row.blob(dataColumn));
  size_t size = row.bytes(dataColumn);
  value.data.assign(bytes, bytes + (bytes ? size : 0));
}

}  // namespace

LONG checkKeyExists(StoreTransaction& tx, KeyId key) {
  Query q = tx.query("SELECT 1 FROM keys WHERE id = ?");
  int result = q.bind(1, key).step();
  if (result == SQLITE_ROW) return ERROR_SUCCESS;
  return result == SQLITE_DONE ? ERROR_KEY_DELETED : tx.failure(result);
}

LONG findSubkey(StoreTransaction& tx, KeyId parent, std::string_view name, KeyId& child) {
  Query q = tx.query("SELECT id FROM keys WHERE parent = ? AND name = ?");
  int result = q.bind(1, parent).bindText(2, name).step();
  if (result == SQLITE_ROW) {
    child = q.integer(0);
    return ERROR_SUCCESS;
  }
  return result == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : tx.failure(result);
}

LONG createSubkey(StoreTransaction& tx, KeyId parent, std::string_view name, KeyId& child) {
  Query q = tx.query("INSERT INTO keys(parent, name) VALUES (?, ?) RETURNING id");
  int result = q.bind(1, parent).bindText(2, name).step();
  if (result != SQLITE_ROW) return tx.failure(result);
  child = q.integer(0);
  return ERROR_SUCCESS;
}

LONG countSubkeys(StoreTransaction& tx, KeyId key, sqlite3_int64& count) {
  Query q = tx.query("SELECT count(*) FROM keys WHERE parent = ?");
  int result = q.bind(1, key).step();
  if (result != SQLITE_ROW) return tx.failure(result);
  count = q.integer(0);
  return ERROR_SUCCESS;
}

LONG subkeyAt(StoreTransaction& tx, KeyId key, DWORD index, std::string& name) {
  Query q = tx.query("SELECT name FROM keys WHERE parent = ? ORDER BY name LIMIT 1 OFFSET ?");
  int result = q.bind(1, key).bind(2, index).step();
  if (result == SQLITE_ROW) {
    name = q.text(0);
    return ERROR_SUCCESS;
  }
  return result == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : tx.failure(result);
}

LONG removeKey(StoreTransaction& tx, KeyId key) {
  {
    Query values = tx.query("DELETE FROM reg_values WHERE key = ?");
    int result = values.bind(1, key).step();
    if (result != SQLITE_DONE) return tx.failure(result);
  }
  Query row = tx.query("DELETE FROM keys WHERE id = ?");
  int result = row.bind(1, key).step();
  return result == SQLITE_DONE ? ERROR_SUCCESS : tx.failure(result);
}

LONG readValue(StoreTransaction& tx, KeyId key, std::string_view name, StoredValue& value) {
  Query q = tx.query("SELECT type, data FROM reg_values WHERE key = ? AND name = ?");
  int result = q.bind(1, key).bindText(2, name).step();
  if (result == SQLITE_ROW) {
    copyValue(q, 0, 1, value);
    return ERROR_SUCCESS;
  }
  return result == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : tx.failure(result);
}

LONG writeValue(StoreTransaction& tx, KeyId key, std::string_view name, DWORD type,
                const BYTE* data, DWORD size) {
  Query q = tx.query(
      "INSERT INTO reg_values(key, name, type, data) VALUES (?, ?, ?, ?) "
      "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, data = excluded.data");
  int result = q.bind(1, key).bindText(2, name).bind(3, type).bindBlob(4, data, size).step();
  return result == SQLITE_DONE ? ERROR_SUCCESS : tx.failure(result);
}

LONG removeValue(StoreTransaction& tx, KeyId key, std::string_view name) {
  Query q = tx.query("DELETE FROM reg_values WHERE key = ? AND name = ? RETURNING 1");
  int result = q.bind(1, key).bindText(2, name).step();
  if (result == SQLITE_ROW) {
    result = q.step();
    return result == SQLITE_DONE ? ERROR_SUCCESS : tx.failure(result);
  }
  return result == SQLITE_DONE ? ERROR_FILE_NOT_FOUND : tx.failure(result);
}

LONG valueAt(StoreTransaction& tx, KeyId key, DWORD index, std::string& name,
             StoredValue& value) {
  Query q = tx.query(
      "SELECT name, type, data FROM reg_values WHERE key = ? ORDER BY rowid LIMIT 1 OFFSET ?");
  int result = q.bind(1, key).bind(2, index).step();
  if (result == SQLITE_ROW) {
    name = q.text(0);
    copyValue(q, 1, 2, value);
    return ERROR_SUCCESS;
  }
  return result == SQLITE_DONE ? ERROR_NO_MORE_ITEMS : tx.failure(result);
}

}  // namespace vexa::platform::registry
