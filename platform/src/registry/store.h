// The registry's storage: one SQLite connection per process, its schema and
// its prepared statements. Only registry.cpp uses this.
//
// Keys are rows found by their case-folded full path ("HKCU\SOFTWARE\X"), so
// that opening "Software\Quorrel\Tonquil\Profiles" is one indexed lookup
// rather than one per component; values are rows keyed by (key, folded name).
#pragma once

#include <mutex>

#include "core/database.h"

namespace handset::registry {

// Every statement the registry runs, prepared once per connection.
enum class Sql {
    FindKey,          // path -> id
    KeyExists,        // id -> 1
    InsertKey,        // parent, path, name
    QueryValue,       // key, fname -> type, data
    SetValue,         // key, fname, name, type, data (nothing when the key is gone)
    DeleteValue,      // key, fname
    DeleteTreeValues, // path, lower, upper
    DeleteTreeKeys,   // path, lower, upper
    EnumKey,          // parent, offset -> name
    EnumValue,        // key, offset -> name, type, data
    SubkeyNames,      // parent -> name
    ValueInfo,        // key -> name, length(data)
    Begin,
    Commit,
    Savepoint,
    Release,
    Count_
};

using Statement = detail::Statement;

// The process's connection to the current device's registry.
class Store {
public:
    // Locks the registry of this process for one API call and makes sure the
    // connection to the current device is open. `status()` tells whether it is.
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    int status() const { return status_; }
    Statement statement(Sql which);
    sqlite3* db() const;

    // Starts a write: a transaction of its own, or a savepoint when a batch
    // is already open, so that a failure undoes this call alone.
    int beginWrite();
    int endWrite(int rc);  // commits on SQLITE_OK, else rolls back; returns rc or the commit's code

    int checkpoint();

private:
    std::unique_lock<std::recursive_mutex> lock_;
    int status_;
    bool nested_ = false;
};

}  // namespace handset::registry
