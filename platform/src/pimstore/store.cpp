#include "pimstore/store.h"

#include <pthread.h>
#include <sqlite3.h>

#include <array>
#include <iterator>
#include <cassert>
#include <cstring>
#include <filesystem>
#include <new>

#include <handset/device.h>

#include "core/device_internal.h"
#include "core/faults_internal.h"

namespace handset::pim {

namespace {

// Another process holds the write lock only for the few milliseconds of one
// save; waiting is always better than losing a contact.
constexpr int kBusyTimeoutMs = 60'000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS contacts(
  oid INTEGER PRIMARY KEY AUTOINCREMENT
);
CREATE TABLE IF NOT EXISTS props(
  oid    INTEGER NOT NULL,
  propid INTEGER NOT NULL,
  value  NOT NULL,
  PRIMARY KEY(oid, propid)
) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS named_props(
  name   BLOB PRIMARY KEY,
  propid INTEGER NOT NULL UNIQUE
);
CREATE TABLE IF NOT EXISTS phone_index(
  oid    INTEGER NOT NULL,
  propid INTEGER NOT NULL,
  tail   TEXT NOT NULL,
  digits TEXT NOT NULL,
  PRIMARY KEY(oid, propid)
) WITHOUT ROWID;
CREATE INDEX IF NOT EXISTS phone_by_tail ON phone_index(tail);
CREATE TABLE IF NOT EXISTS categories(
  recid INTEGER PRIMARY KEY AUTOINCREMENT,
  name  BLOB NOT NULL,
  fname BLOB NOT NULL UNIQUE
);
)sql";

// In the order of Sql.
constexpr const char* kStatements[] = {
    "SELECT 1 FROM contacts WHERE oid = ?1",
    "INSERT INTO contacts DEFAULT VALUES",
    "DELETE FROM contacts WHERE oid = ?1",
    "DELETE FROM props WHERE oid = ?1",
    "DELETE FROM phone_index WHERE oid = ?1",
    "SELECT p.value FROM contacts c LEFT JOIN props p ON p.oid = c.oid AND p.propid = ?2 WHERE c.oid = ?1",
    "INSERT INTO props(oid, propid, value) VALUES (?1, ?2, ?3) "
    "ON CONFLICT(oid, propid) DO UPDATE SET value = excluded.value",
    "DELETE FROM props WHERE oid = ?1 AND propid = ?2",
    "DELETE FROM phone_index WHERE oid = ?1 AND propid = ?2",
    "INSERT INTO phone_index(oid, propid, tail, digits) VALUES (?1, ?2, ?3, ?4)",
    "SELECT oid, propid, digits FROM phone_index WHERE tail = ?1",
    "SELECT oid FROM contacts ORDER BY oid",
    "SELECT propid, value FROM props WHERE oid = ?1",
    "SELECT oid, value FROM props WHERE propid = ?1",
    "SELECT propid FROM named_props WHERE name = ?1",
    "SELECT 1 FROM named_props WHERE propid = ?1",
    "SELECT coalesce(max(propid >> 16), 32767) + 1 FROM named_props",
    "INSERT INTO named_props(name, propid) VALUES (?1, ?2)",
    "SELECT recid, name FROM categories WHERE fname = ?1",
    "INSERT INTO categories(name, fname) VALUES (?1, ?2)",
    "DELETE FROM categories WHERE recid = ?1",
    "SELECT recid FROM categories ORDER BY recid LIMIT 1 OFFSET ?1",
    "SELECT (SELECT count(*) FROM categories WHERE recid < ?1) FROM categories WHERE recid = ?1",
    "SELECT count(*) FROM categories",
    "SELECT name FROM categories WHERE recid = ?1",
    "SELECT recid, name FROM categories ORDER BY recid",
    "BEGIN IMMEDIATE",
    "BEGIN",
    "COMMIT",
    "SAVEPOINT pim_call",
    "RELEASE pim_call",
};
static_assert(std::size(kStatements) == static_cast<std::size_t>(Sql::Count_));

struct Connection {
    sqlite3* db = nullptr;
    std::uint64_t generation = 0;
    std::array<sqlite3_stmt*, static_cast<std::size_t>(Sql::Count_)> statements{};
    std::unordered_map<std::u16string, CEPROPID> named;
};

// Made once and never destroyed, so that objects released during the exit
// of the process still find their lock.
alignas(std::recursive_mutex) unsigned char mutexStorage[sizeof(std::recursive_mutex)];
std::recursive_mutex* volumeMutex = new (mutexStorage) std::recursive_mutex;
Connection* connection = new Connection;

std::filesystem::path volumePath()
{
    return deviceRoot() / "pim.vol";
}

void closeConnection()
{
    for (auto*& stmt : connection->statements) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    sqlite3_close_v2(connection->db);
    connection->db = nullptr;
    connection->named.clear();
}

// A forked child must never use its parent's connection: SQLite's locks
// belong to the parent. The child forgets the connection without closing it
// (closing would drop the parent's locks) and opens its own on first use.
void prepareFork() { volumeMutex->lock(); }
void parentAfterFork() { volumeMutex->unlock(); }
void childAfterFork()
{
    // The lock taken before the fork belongs to the parent's thread, which
    // the child does not have; a recursive mutex refuses to be unlocked by
    // another thread, so the child starts from a fresh one.
    volumeMutex = new (mutexStorage) std::recursive_mutex;
    connection = new Connection;  // the parent's stays allocated but untouched
}

int openConnection()
{
    static const bool forkHandlers = [] {
        pthread_atfork(prepareFork, parentAfterFork, childAfterFork);
        return true;
    }();
    (void)forkHandlers;

    const std::uint64_t generation = detail::deviceGeneration();
    if (connection->db && connection->generation == generation)
        return SQLITE_OK;
    if (connection->db)
        closeConnection();  // the process moved to another device

    const std::string path = volumePath().string();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // WAL lets the call ring service read while the configuration
        // application saves; NORMAL keeps every committed save through a
        // crash of the process.
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
            const int end = sqlite3_exec(db, rc == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK)
                rc = end;
        }
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return rc;
    }
    connection->db = db;
    connection->generation = generation;
    return SQLITE_OK;
}

int faultCode(faults::Fault fault)
{
    switch (fault) {
    case faults::Fault::Busy:
        return SQLITE_BUSY;
    case faults::Fault::DiskFull:
        return SQLITE_FULL;
    case faults::Fault::IoError:
        break;
    }
    return SQLITE_IOERR;
}

}  // namespace

Statement::~Statement()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

Statement& Statement::bind(std::int64_t value)
{
    sqlite3_bind_int64(stmt_, next_++, value);
    return *this;
}

Statement& Statement::bind(double value)
{
    sqlite3_bind_double(stmt_, next_++, value);
    return *this;
}

Statement& Statement::bind(std::u16string_view text)
{
    return bind(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                              text.size() * sizeof(char16_t)));
}

// Bound values are copied: a statement is often bound from a temporary
// (a folded name, a phone number's tail) and stepped afterwards.
Statement& Statement::bind(std::span<const std::uint8_t> blob)
{
    // An empty string or blob must still be a value, not NULL.
    static const std::uint8_t empty = 0;
    sqlite3_bind_blob(stmt_, next_++, blob.empty() ? &empty : blob.data(), static_cast<int>(blob.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::bindText(std::string_view text)
{
    sqlite3_bind_text(stmt_, next_++, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

int Statement::step()
{
    if (auto fault = detail::takeStorageStep(faults::Store::Contacts))
        return faultCode(*fault);
    return sqlite3_step(stmt_);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

int Statement::type(int column) const
{
    return sqlite3_column_type(stmt_, column);
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(stmt_, column);
}

std::u16string Statement::string(int column) const
{
    const auto bytes = blob(column);
    std::u16string out(bytes.size() / sizeof(char16_t), u'\0');
    if (!out.empty())
        std::memcpy(out.data(), bytes.data(), out.size() * sizeof(char16_t));
    return out;
}

std::span<const std::uint8_t> Statement::blob(int column) const
{
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    return {data, data ? static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)) : 0};
}

std::string_view Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return {data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

Store::Store() : lock_(*volumeMutex), status_(openConnection()) {}

Store::~Store()
{
    if (reading_)
        endRead();
}

sqlite3* Store::db() const
{
    return connection->db;
}

std::int64_t Store::lastInsertRowid() const
{
    return sqlite3_last_insert_rowid(connection->db);
}

Statement Store::statement(Sql which)
{
    assert(status_ == SQLITE_OK);
    auto& slot = connection->statements[static_cast<std::size_t>(which)];
    if (!slot) {
        // A statement that cannot be prepared is a bug in this file; the
        // step on a null statement then reports SQLITE_MISUSE.
        sqlite3_prepare_v3(connection->db, kStatements[static_cast<std::size_t>(which)], -1,
                           SQLITE_PREPARE_PERSISTENT, &slot, nullptr);
    }
    return Statement(slot);
}

int Store::beginWrite()
{
    const bool nested = sqlite3_get_autocommit(connection->db) == 0;
    const int rc = statement(nested ? Sql::Savepoint : Sql::Begin).step();
    writes_.push_back(rc != SQLITE_DONE ? Write::NotBegun : nested ? Write::Savepoint : Write::Transaction);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int Store::endWrite(int rc)
{
    assert(!writes_.empty());
    const Write write = writes_.back();
    writes_.pop_back();
    if (write == Write::NotBegun)
        return rc == SQLITE_OK ? SQLITE_ERROR : rc;
    const bool nested = write == Write::Savepoint;
    if (rc == SQLITE_OK) {
        const int done = statement(nested ? Sql::Release : Sql::Commit).step();
        if (done == SQLITE_DONE)
            return SQLITE_OK;
        rc = done;
    }
    // The rollback itself is not a step a fault may hit: it is what makes a
    // failed write leave the volume as it was.
    if (nested) {
        sqlite3_exec(connection->db, "ROLLBACK TO pim_call; RELEASE pim_call", nullptr, nullptr, nullptr);
    } else if (sqlite3_get_autocommit(connection->db) == 0) {
        sqlite3_exec(connection->db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return rc;
}

int Store::beginRead()
{
    if (sqlite3_get_autocommit(connection->db) == 0)
        return SQLITE_OK;
    const int rc = statement(Sql::BeginRead).step();
    if (rc != SQLITE_DONE)
        return rc;
    reading_ = true;
    return SQLITE_OK;
}

void Store::endRead()
{
    if (!reading_)
        return;
    reading_ = false;
    // A read transaction has nothing to lose: ending it never fails in a way
    // that matters, so it bypasses fault injection.
    sqlite3_exec(connection->db, "COMMIT", nullptr, nullptr, nullptr);
}

std::unordered_map<std::u16string, CEPROPID>& Store::namedCache()
{
    return connection->named;
}

bool volumeExists()
{
    std::error_code ec;
    return std::filesystem::exists(volumePath(), ec);
}

}  // namespace handset::pim
