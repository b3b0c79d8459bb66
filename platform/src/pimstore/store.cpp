#include "pimstore/store.h"

#include <sqlite3.h>

#include <cassert>
#include <filesystem>
#include <iterator>

#include <handset/device.h>

namespace handset::pim {

namespace {

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
    // Only the properties asked for (a JSON array of their ids) are joined,
    // so that no contact's picture is read with them.
    "SELECT c.oid, p.propid, p.value FROM contacts c LEFT JOIN props p "
    "ON p.oid = c.oid AND p.propid IN (SELECT value FROM json_each(?1)) ORDER BY c.oid",
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

std::filesystem::path volumePath()
{
    return deviceRoot() / "pim.vol";
}

// Named properties never change their id once made, so what a connection
// has seen may be kept for as long as it is open.
std::unordered_map<std::u16string, CEPROPID>& namedProperties()
{
    static auto* named = new std::unordered_map<std::u16string, CEPROPID>;
    return *named;
}

// The read snapshots open on the connection with a transaction of their
// own. Guarded by the volume's mutex, which a snapshot holds throughout; it
// belongs to the connection, so one dropped or forgotten (a forked child's)
// has none.
int snapshotDepth = 0;

detail::DeviceDatabase& database()
{
    static auto* volume = [] {
        auto* made = new detail::DeviceDatabase("pim.vol", faults::Store::Contacts, kSchema, kStatements);
        made->onDrop = [] {
            namedProperties().clear();
            snapshotDepth = 0;
        };
        return made;
    }();
    return *volume;
}

}  // namespace

Store::Store() : lock_(database().mutex()), status_(database().open()) {}

Store::~Store()
{
    if (reading_)
        endRead();
}

sqlite3* Store::db() const
{
    return database().db();
}

std::int64_t Store::lastInsertRowid() const
{
    return sqlite3_last_insert_rowid(db());
}

Statement Store::statement(Sql which)
{
    return database().statement(static_cast<std::size_t>(which));
}

int Store::beginWrite()
{
    if (snapshotDepth > 0) {
        writes_.push_back(Write::NotBegun);
        return SQLITE_READONLY;
    }
    const bool nested = sqlite3_get_autocommit(db()) == 0;
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
        database().execute("ROLLBACK TO pim_call; RELEASE pim_call");
    } else if (sqlite3_get_autocommit(db()) == 0) {
        database().execute("ROLLBACK");
    }
    return rc;
}

int Store::beginRead()
{
    if (sqlite3_get_autocommit(db()) == 0)
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
    database().execute("COMMIT");
}

int Store::readSnapshot(const std::function<void()>& work)
{
    if (sqlite3_get_autocommit(db()) == 0) {
        work();
        return SQLITE_OK;
    }
    if (const int rc = beginRead(); rc != SQLITE_OK)
        return rc;
    ++snapshotDepth;
    work();
    --snapshotDepth;
    endRead();
    return SQLITE_OK;
}

std::unordered_map<std::u16string, CEPROPID>& Store::namedCache()
{
    return namedProperties();
}

bool volumeExists()
{
    std::error_code ec;
    return std::filesystem::exists(volumePath(), ec);
}

}  // namespace handset::pim
