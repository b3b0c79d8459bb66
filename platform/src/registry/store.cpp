#include "registry/store.h"

#include <pthread.h>
#include <sqlite3.h>

#include <array>
#include <cassert>
#include <new>

#include <handset/device.h>

#include "core/device_internal.h"
#include "core/faults_internal.h"

namespace handset::registry {

namespace {

// Waiting is always better than failing: another process holds the write
// lock only for the few microseconds of one call.
constexpr int kBusyTimeoutMs = 60'000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id     INTEGER PRIMARY KEY AUTOINCREMENT,  -- never reused: a stale handle must not reach a new key
  parent INTEGER NOT NULL,
  path   TEXT NOT NULL UNIQUE,
  name   TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, path);
CREATE TABLE IF NOT EXISTS vals(
  key   INTEGER NOT NULL,
  fname TEXT NOT NULL,
  name  TEXT NOT NULL,
  seq   INTEGER NOT NULL,
  type  INTEGER NOT NULL,
  data  BLOB NOT NULL,
  PRIMARY KEY(key, fname)
) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, path, name) VALUES
  (1, 0, 'HKCR', 'HKEY_CLASSES_ROOT'),
  (2, 0, 'HKCU', 'HKEY_CURRENT_USER'),
  (3, 0, 'HKLM', 'HKEY_LOCAL_MACHINE');
)sql";

constexpr std::array<const char*, static_cast<std::size_t>(Sql::Count_)> kStatements = {
    "SELECT id FROM keys WHERE path = ?1",
    "SELECT 1 FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, path, name) VALUES (?1, ?2, ?3)",
    "SELECT type, data FROM vals WHERE key = ?1 AND fname = ?2",
    // One statement, so one transaction: the value only lands while its key
    // still exists, and a rewrite keeps the name's first spelling and place.
    "INSERT INTO vals(key, fname, name, seq, type, data) "
    "SELECT ?1, ?2, ?3, (SELECT coalesce(max(seq), 0) + 1 FROM vals WHERE key = ?1), ?4, ?5 "
    "WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1) "
    "ON CONFLICT(key, fname) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND fname = ?2",
    "DELETE FROM vals WHERE key IN (SELECT id FROM keys WHERE path = ?1 OR (path > ?2 AND path < ?3))",
    "DELETE FROM keys WHERE path = ?1 OR (path > ?2 AND path < ?3)",
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY path LIMIT 1 OFFSET ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY seq LIMIT 1 OFFSET ?2",
    "SELECT name FROM keys WHERE parent = ?1",
    "SELECT name, length(data) FROM vals WHERE key = ?1",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "SAVEPOINT registry_call",
    "RELEASE registry_call",
};

// The process-wide connection. The recursive mutex serialises the threads
// of a process (the telephony callback runs beside the window thread) and
// lets a batch hold the registry across the calls it makes.
struct Connection {
    sqlite3* db = nullptr;
    std::uint64_t generation = 0;
    std::array<sqlite3_stmt*, static_cast<std::size_t>(Sql::Count_)> statements{};
};

alignas(std::recursive_mutex) unsigned char mutexStorage[sizeof(std::recursive_mutex)];
std::recursive_mutex* registryMutex = new (mutexStorage) std::recursive_mutex;
Connection connection;

void closeConnection()
{
    for (auto*& stmt : connection.statements) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    sqlite3_close_v2(connection.db);
    connection.db = nullptr;
}

// A forked child must never touch its parent's connection: SQLite's locks
// belong to the parent process. The child forgets it (without closing it,
// which would act on the parent's locks) and opens its own when it first
// uses the registry.
void prepareFork() { registryMutex->lock(); }
void parentAfterFork() { registryMutex->unlock(); }
void childAfterFork()
{
    // The child's only thread has a new thread id, so it cannot unlock what
    // the forking thread locked: the mutex is made anew instead.
    registryMutex = new (mutexStorage) std::recursive_mutex;
    connection = Connection{};
}

int openConnection()
{
    static const bool forkHandlers = [] {
        pthread_atfork(prepareFork, parentAfterFork, childAfterFork);
        return true;
    }();
    (void)forkHandlers;

    const std::uint64_t generation = detail::deviceGeneration();
    if (connection.db && connection.generation == generation)
        return SQLITE_OK;
    if (connection.db)
        closeConnection();  // the process moved to another device

    const std::string path = (deviceRoot() / "registry.db").string();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // WAL lets readers run beside a writer; NORMAL synchronisation keeps
        // every committed call through a crash of the process, and
        // RegFlushKey's checkpoint makes it durable on disk.
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=4000;",
                          nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK) {
        rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(db, kSchema, nullptr, nullptr, nullptr);
            rc = sqlite3_exec(db, rc == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK
                     ? rc
                     : SQLITE_ERROR;
        }
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return rc;
    }
    connection.db = db;
    connection.generation = generation;
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

Statement& Statement::bind(std::string_view text)
{
    sqlite3_bind_text(stmt_, next_++, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    return *this;
}

Statement& Statement::bind(std::span<const std::uint8_t> blob)
{
    // A zero-length blob must still be a blob, not NULL.
    static const std::uint8_t empty = 0;
    sqlite3_bind_blob(stmt_, next_++, blob.empty() ? &empty : blob.data(), static_cast<int>(blob.size()),
                      SQLITE_STATIC);
    return *this;
}

int Statement::step()
{
    if (auto fault = detail::takeStorageStep(faults::Store::Registry))
        return faultCode(*fault);
    return sqlite3_step(stmt_);
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(stmt_, column);
}

std::string_view Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return {data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

std::span<const std::uint8_t> Statement::blob(int column) const
{
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    return {data, data ? static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column)) : 0};
}

Store::Store() : lock_(*registryMutex), status_(openConnection()) {}

Store::~Store() = default;

sqlite3* Store::db() const
{
    return connection.db;
}

Statement Store::statement(Sql which)
{
    assert(status_ == SQLITE_OK);
    auto& slot = connection.statements[static_cast<std::size_t>(which)];
    if (!slot) {
        // A statement that cannot be prepared is a bug in this file; the
        // step on a null statement then reports SQLITE_MISUSE.
        sqlite3_prepare_v3(connection.db, kStatements[static_cast<std::size_t>(which)], -1,
                           SQLITE_PREPARE_PERSISTENT, &slot, nullptr);
    }
    return Statement(slot);
}

int Store::beginWrite()
{
    nested_ = sqlite3_get_autocommit(connection.db) == 0;
    const int rc = statement(nested_ ? Sql::Savepoint : Sql::Begin).step();
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

int Store::endWrite(int rc)
{
    if (rc == SQLITE_OK) {
        const int done = statement(nested_ ? Sql::Release : Sql::Commit).step();
        if (done == SQLITE_DONE)
            return SQLITE_OK;
        rc = done;
    }
    // Undoing is never subject to injected faults: it is what the fault
    // tests check.
    if (nested_) {
        sqlite3_exec(connection.db, "ROLLBACK TO registry_call; RELEASE registry_call", nullptr, nullptr, nullptr);
    } else if (sqlite3_get_autocommit(connection.db) == 0) {
        sqlite3_exec(connection.db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    return rc;
}

int Store::checkpoint()
{
    if (auto fault = detail::takeStorageStep(faults::Store::Registry))
        return faultCode(*fault);
    return sqlite3_wal_checkpoint_v2(connection.db, nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr);
}

}  // namespace handset::registry
