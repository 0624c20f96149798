// The registry's SQLite database: one file shared by every process, opened per process on
// first use and reopened when $VEXA_REGISTRY names another file. All access goes through a
// StoreTransaction, which holds the process-wide lock for its lifetime.
#pragma once

#include <windows.h>

#include "registry_query.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace vexa::platform::registry {

using KeyId = sqlite3_int64;

// Fixed row ids of the predefined roots. HKEY_CLASSES_ROOT has no row of its own: it is
// HKEY_LOCAL_MACHINE\Software\Classes, whose id the store keeps in its metadata.
constexpr KeyId kLocalMachineId = 1;
constexpr KeyId kCurrentUserId = 2;
constexpr KeyId kUsersId = 3;

class StoreTransaction {
public:
  enum Kind { Read, Write };

  // Takes the process lock, opens the store if needed and begins the transaction;
  // status() tells whether all of that worked.
  explicit StoreTransaction(Kind kind);
  // Rolls back unless committed.
  ~StoreTransaction();
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

  LONG status() const { return status_; }
  LONG commit();

  Query query(const char* sql);
  // The Win32 code for an SQLite result met inside this transaction.
  LONG failure(int sqliteResult) const;

  std::uint64_t storeId() const;
  KeyId classesRootId() const;

private:
  std::unique_lock<std::mutex> guard_;
  Kind kind_;
  LONG status_ = ERROR_SUCCESS;
  bool open_ = false;
};

// Maps an SQLite result code to the registry's Win32 code.
LONG win32FromSqlite(int sqliteResult, bool writing);

}  // namespace vexa::platform::registry
