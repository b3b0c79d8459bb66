// The registry's storage: one SQLite connection per process, its schema and
// its prepared statements. Only registry.cpp uses this.
//
// Keys are rows found by their case-folded full path ("HKCU\SOFTWARE\X"), so
// that opening "Software\Quorrel\Tonquil\Profiles" is one indexed lookup
// rather than one per component; values are rows keyed by (key, folded name).
#pragma once

#include <functional>
#include <mutex>
#include <optional>

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
    BeginRead,
    Commit,
    Savepoint,
    Release,
    Count_
};

using Statement = detail::Statement;

// Whether an API call only reads or also writes.
enum class Access { Read, Write };

// The process's connection to the current device's registry.
class Store {
public:
    // Locks the registry of this process for one API call and makes sure the
    // connection to the current device is open. `status()` tells whether it
    // is. A write first takes the device's writer lock (unless this thread
    // holds it already, in a batch), before the process's lock, so that a
    // writer waiting for its turn never keeps this process's readers waiting.
    // A write inside a read snapshot is refused (SQLITE_READONLY): it could
    // not take the writer lock without holding the process's lock first.
    explicit Store(Access access);
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

    // Runs `work` on one read snapshot: a deferred read transaction (under
    // WAL it never waits for a writer), or the transaction already open on
    // this thread. Returns SQLITE_OK or the code of starting it.
    int readSnapshot(const std::function<void()>& work);

private:
    std::optional<detail::WriterLock> writer_;  // taken before lock_, released after it
    std::unique_lock<std::recursive_mutex> lock_;
    int status_ = 0;
    bool nested_ = false;
    bool holdsWriter_ = false;
};

}  // namespace handset::registry
