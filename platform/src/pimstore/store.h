// The contacts volume's storage: one SQLite connection per process to the
// device's "pim.vol", its schema and its prepared statements. The contacts
// interfaces, the category database functions and the device's tools all
// go through it.
//
//   contacts     one row per contact; AUTOINCREMENT, so that the object id of
//                a deleted contact never names another one
//   props        (contact, property id) -> value: INTEGER, REAL, or BLOB
//                (strings as UTF-16 code units, blobs and pictures as bytes)
//   named_props  name -> property id, made once by GetIDsFromNames
//   phone_index  (contact, phone property) -> the last seven digits reversed
//                ("tail"), indexed, and all digits reversed, so that a caller
//                ID lookup is one indexed probe however many contacts exist
//   categories   the category database's records, unique by folded name
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <handset/cedb.h>

#include "core/database.h"

namespace handset::pim {

// Internal results are SQLite codes, plus this one for an object (contact,
// category) that does not exist. The surfaces turn them into HRESULTs and
// Win32 codes in one place each (toHresult, toWin32).
constexpr int kMissing = -1;

enum class Sql {
    ContactExists,      // oid -> 1
    InsertContact,      //
    DeleteContact,      // oid
    DeleteContactProps, // oid
    DeleteContactPhones,// oid
    ReadProp,           // oid, propid -> value (NULL: no such property); no row: no such contact
    WriteProp,          // oid, propid, value
    DeleteProp,         // oid, propid
    DeletePhone,        // oid, propid
    InsertPhone,        // oid, propid, tail, digits
    FindPhone,          // tail -> oid, propid, digits
    ListContacts,       // -> oid
    ContactProps,       // oid -> propid, value
    EveryContactProps,  // ids asked for (a JSON array) -> oid, propid, value (NULL: none of them), by oid
    PropsOfType,        // propid -> oid, value
    FindName,           // name -> propid
    FindNameById,       // propid -> 1
    NextNameSlot,       // -> next free high word for a named property
    InsertName,         // name, propid
    FindCategory,       // fname -> recid, name
    InsertCategory,     // name, fname
    DeleteCategory,     // recid
    CategoryAt,         // offset -> recid
    CategoryIndex,      // recid -> index (count of records before it); no row: no such record
    CategoryCount,      // -> count
    CategoryName,       // recid -> name
    ListCategories,     // -> recid, name
    Begin,
    BeginRead,
    Commit,
    Savepoint,
    Release,
    Count_
};

using Statement = detail::Statement;

// The process's connection to the current device's contacts volume, held
// for one call. Constructing it locks the volume for this thread
// (recursively, so that a batch can hold it across the calls it makes) and
// opens or reopens the connection when needed.
class Store {
public:
    Store();
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    int status() const { return status_; }
    Statement statement(Sql which);
    sqlite3* db() const;
    std::int64_t lastInsertRowid() const;

    // Starts a write: a transaction of its own, or a savepoint inside a
    // transaction that is already open, so that a failure undoes this write
    // alone. Every beginWrite, also a failed one, is ended by endWrite, which
    // commits on SQLITE_OK and rolls back otherwise; it returns rc, or the
    // commit's failure.
    int beginWrite();
    int endWrite(int rc);

    // A read transaction, so that several reads of one call see one state.
    // Inside an open transaction it does nothing.
    int beginRead();
    void endRead();

    // Runs `work` on one read transaction, so that every call it makes on
    // the volume sees one state and none begins a transaction of its own.
    // A write inside it is refused (SQLITE_READONLY): the read could not
    // become a write once another program had saved. Inside a transaction
    // that is already open it only runs `work`.
    int readSnapshot(const std::function<void()>& work);

    // The named properties this connection has seen; a name once made keeps
    // its id, so what is cached here never goes stale.
    std::unordered_map<std::u16string, CEPROPID>& namedCache();

private:
    std::unique_lock<std::recursive_mutex> lock_;
    int status_;
    // What each open write of this call began, innermost last: the writes
    // a batch makes through the same Store nest.
    enum class Write { Transaction, Savepoint, NotBegun };
    std::vector<Write> writes_;
    bool reading_ = false;
};

// Whether the device's contacts volume exists on disk.
bool volumeExists();

}  // namespace handset::pim
