#include "registry/store.h"

#include <sqlite3.h>

#include <array>

namespace handset::registry {

namespace {

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
    "BEGIN",
    "COMMIT",
    "SAVEPOINT registry_call",
    "RELEASE registry_call",
};

detail::DeviceDatabase& database()
{
    static auto* registry =
        new detail::DeviceDatabase("registry.db", faults::Store::Registry, kSchema, kStatements);
    return *registry;
}

// What this thread holds: the writer lock (held by the outermost write
// call or batch) and read snapshots.
thread_local int writerDepth = 0;
thread_local int snapshotDepth = 0;

}  // namespace

Store::Store(Access access)
{
    if (access == Access::Write) {
        if (snapshotDepth > 0 && writerDepth == 0) {
            status_ = SQLITE_READONLY;
            return;
        }
        if (writerDepth == 0)
            writer_.emplace(database());
        ++writerDepth;
        holdsWriter_ = true;
    }
    lock_ = std::unique_lock(database().mutex());
    status_ = database().open();
}

Store::~Store()
{
    if (lock_.owns_lock())
        lock_.unlock();
    if (holdsWriter_)
        --writerDepth;
}

int Store::readSnapshot(const std::function<void()>& work)
{
    const bool begin = sqlite3_get_autocommit(db()) != 0;
    if (begin) {
        const int rc = statement(Sql::BeginRead).step();
        if (rc != SQLITE_DONE)
            return rc;
    }
    ++snapshotDepth;
    work();
    --snapshotDepth;
    // Ending a read transaction changes nothing; it must never be left
    // open, so it is not subject to injected faults.
    if (begin)
        database().execute("COMMIT");
    return SQLITE_OK;
}

sqlite3* Store::db() const
{
    return database().db();
}

Statement Store::statement(Sql which)
{
    return database().statement(static_cast<std::size_t>(which));
}

int Store::beginWrite()
{
    nested_ = sqlite3_get_autocommit(db()) == 0;
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
        database().execute("ROLLBACK TO registry_call; RELEASE registry_call");
    } else if (sqlite3_get_autocommit(db()) == 0) {
        database().execute("ROLLBACK");
    }
    return rc;
}

int Store::checkpoint()
{
    if (const int fault = detail::injectedFault(faults::Store::Registry))
        return fault;
    return sqlite3_wal_checkpoint_v2(db(), nullptr, SQLITE_CHECKPOINT_FULL, nullptr, nullptr);
}

}  // namespace handset::registry
