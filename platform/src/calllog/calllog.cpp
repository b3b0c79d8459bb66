// The call log on the device's "calllog.db".
//
//   calls   one row per call; AUTOINCREMENT, so that the newest call always
//           has the highest id, even after the oldest were forgotten
//
// A process keeps the connection of its last writer and of its last reader
// for the next of their kind while the file under the log's name is still the
// one they used. Opening the log afresh costs the rebuild of its write-ahead
// index, and a writer that closed last would checkpoint and sync the log and
// remove its write-ahead files, most of the cost of recording a call; the
// ring decision's look at the last minutes of calls would pay the rebuild for
// every call. A file that changed under the name (a damaged log, one written
// over from outside SQLite) is opened afresh, which is what lets a damaged
// log be set aside between two calls. WAL with NORMAL synchronisation, as the
// registry keeps its file: a committed call survives a crash of the radio.
#include "calllog/calllog.h"

#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>

#include <sys/stat.h>

#include <handset/clock.h>
#include <handset/device.h>
#include <handset/log.h>

namespace handset::calllog {

namespace {

constexpr const char* kFileName = "calllog.db";
constexpr int kBusyTimeoutMs = 5'000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS calls(
  id        INTEGER PRIMARY KEY AUTOINCREMENT,
  start     INTEGER NOT NULL,
  end       INTEGER NOT NULL,
  outcome   INTEGER NOT NULL,
  outgoing  INTEGER NOT NULL,
  cidt      INTEGER NOT NULL,
  number    TEXT,
  name      TEXT,
  name_type TEXT
);
)sql";

std::filesystem::path logPath()
{
    return deviceRoot() / kFileName;
}

// One connection for one operation, closed however the operation ends.
class Connection {
public:
    // `create`: make the file and its table when they are missing.
    explicit Connection(bool create)
    {
        const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
        rc_ = sqlite3_open_v2(logPath().c_str(), &db_, flags, nullptr);
        if (rc_ == SQLITE_OK) {
            sqlite3_busy_timeout(db_, kBusyTimeoutMs);
            // A connection is closed only when the file under the log's name
            // is no longer the one it opened, or at the end of the process:
            // a checkpoint then would copy pages into a file that may be
            // damaged or another's. The writer checkpoints as it goes
            // instead, every hundred pages, so that the write-ahead file a
            // fresh reader must index stays short. The journal mode is the
            // file's own once the writer set it.
            sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
            if (create)
                rc_ = sqlite3_exec(db_,
                                   "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=100;",
                                   nullptr, nullptr, nullptr);
        }
        if (rc_ == SQLITE_OK && create)
            rc_ = sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr);
    }
    ~Connection()
    {
        sqlite3_finalize(newestFirst_);
        sqlite3_close_v2(db_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    int status() const { return rc_; }
    sqlite3* db() const { return db_; }
    std::string error() const { return db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc_); }

    // The calls newest first, prepared once for the connection's life; the
    // reader resets it when done. A SQLite code.
    int newestFirst(sqlite3_stmt*& stmt)
    {
        int rc = SQLITE_OK;
        if (!newestFirst_)
            rc = sqlite3_prepare_v3(db_,
                                    "SELECT start, end, outcome, outgoing, cidt, number, name, name_type FROM calls "
                                    "ORDER BY id DESC",
                                    -1, SQLITE_PREPARE_PERSISTENT, &newestFirst_, nullptr);
        stmt = newestFirst_;
        return rc;
    }

private:
    sqlite3* db_ = nullptr;
    int rc_ = SQLITE_OK;
    sqlite3_stmt* newestFirst_ = nullptr;
};

bool isDamage(int rc)
{
    rc &= 0xFF;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

void bindText(sqlite3_stmt* stmt, int index, const std::optional<std::u16string>& text)
{
    if (!text) {
        sqlite3_bind_null(stmt, index);
        return;
    }
    const std::u16string cut = text->substr(0, kMaxTextLength);
    sqlite3_bind_text16(stmt, index, cut.data(), static_cast<int>(cut.size() * sizeof(char16_t)), SQLITE_TRANSIENT);
}

std::optional<std::u16string> columnText(sqlite3_stmt* stmt, int column)
{
    if (sqlite3_column_type(stmt, column) == SQLITE_NULL)
        return std::nullopt;
    const auto* data = static_cast<const char16_t*>(sqlite3_column_text16(stmt, column));
    const int bytes = sqlite3_column_bytes16(stmt, column);
    return std::u16string(data ? data : u"", static_cast<std::size_t>(bytes) / sizeof(char16_t));
}

// The file under the log's name as a connection last found it: a file that
// replaced it, or one written over from outside SQLite (a damaged log),
// differs. The main file changes only when SQLite checkpoints into it, so a
// kept connection is seldom given up.
struct FileIdentity {
    std::filesystem::path path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> identityOf(const std::filesystem::path& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return FileIdentity{path, status.st_dev, status.st_ino, status.st_size,
                        std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec};
}

// The connection the last writer or the last reader of this process left,
// idle, for the next one of its kind.
class KeptConnection {
public:
    // The kept connection when it still uses `file`, else null (a stale one
    // is closed).
    std::unique_ptr<Connection> take(const FileIdentity& file)
    {
        std::unique_ptr<Connection> connection;
        {
            std::lock_guard lock(mutex_);
            connection = std::move(connection_);
            if (connection && file_ == file)
                return connection;
        }
        return nullptr;
    }
    // Keeps `connection`, which uses `file`, unless one is kept already.
    void keep(std::unique_ptr<Connection> connection, const FileIdentity& file)
    {
        std::lock_guard lock(mutex_);
        if (!connection_) {
            connection_ = std::move(connection);
            file_ = file;
        }
    }

private:
    std::mutex mutex_;
    std::unique_ptr<Connection> connection_;
    FileIdentity file_;
};

// Both outlive every reader and writer, also at exit.
KeptConnection& idleReader()
{
    static auto* idle = new KeptConnection;
    return *idle;
}

KeptConnection& idleWriter()
{
    static auto* idle = new KeptConnection;
    return *idle;
}

// A reader's connection to the log `file`: the idle one when it still reads
// this file, else a new one.
std::unique_ptr<Connection> readerConnection(const FileIdentity& file)
{
    if (std::unique_ptr<Connection> kept = idleReader().take(file))
        return kept;
    return std::make_unique<Connection>(false);
}

// Inserts the call and forgets what falls beyond the bound, in one
// transaction; a SQLite code.
int insert(Connection& connection, const Entry& entry)
{
    sqlite3* db = connection.db();
    int rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return rc;
    sqlite3_stmt* stmt = nullptr;
    rc = sqlite3_prepare_v2(db,
                            "INSERT INTO calls(start, end, outcome, outgoing, cidt, number, name, name_type) "
                            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
                            -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_bind_int64(stmt, 1, entry.start);
        sqlite3_bind_int64(stmt, 2, entry.end);
        sqlite3_bind_int(stmt, 3, static_cast<int>(entry.outcome));
        sqlite3_bind_int(stmt, 4, entry.outgoing ? 1 : 0);
        sqlite3_bind_int(stmt, 5, static_cast<int>(entry.callerIdType));
        bindText(stmt, 6, entry.number);
        bindText(stmt, 7, entry.name);
        bindText(stmt, 8, entry.nameType);
        rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    sqlite3_finalize(stmt);
    if (rc == SQLITE_OK) {
        const std::string forget = "DELETE FROM calls WHERE id <= (SELECT MAX(id) FROM calls) - " +
                                   std::to_string(kMaxEntries);
        rc = sqlite3_exec(db, forget.c_str(), nullptr, nullptr, nullptr);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return rc;
}

// Moves a damaged log out of the way, keeping it for whoever wants to look
// at it; a damaged log kept before is replaced.
bool setAside()
{
    const std::filesystem::path path = logPath();
    std::error_code ec;
    std::filesystem::rename(path, path.string() + ".damaged", ec);
    std::error_code ignored;
    std::filesystem::remove(path.string() + "-wal", ignored);
    std::filesystem::remove(path.string() + "-shm", ignored);
    return !ec;
}

// One writer at a time within the radio; SQLite's own locks order the
// processes.
std::mutex writeMutex;

}  // namespace

std::int64_t now()
{
    using namespace std::chrono;
    constexpr std::int64_t kUnixEpochIn1601 = 116444736000000000LL;
    const auto at = system_clock::now() + clockOffset();
    const std::time_t seconds = system_clock::to_time_t(at);
    std::tm local{};
    localtime_r(&seconds, &local);
    const std::int64_t localMs = duration_cast<milliseconds>(at.time_since_epoch()).count() +
                                 static_cast<std::int64_t>(local.tm_gmtoff) * 1000;
    return kUnixEpochIn1601 + localMs * 10'000;
}

std::string record(const Entry& entry)
{
    std::lock_guard lock(writeMutex);
    for (int attempt = 0;; ++attempt) {
        int rc;
        std::string error;
        {
            const std::optional<FileIdentity> file = identityOf(logPath());
            std::unique_ptr<Connection> connection = file ? idleWriter().take(*file) : nullptr;
            if (!connection)
                connection = std::make_unique<Connection>(true);
            rc = connection->status();
            if (rc == SQLITE_OK)
                rc = insert(*connection, entry);
            if (rc == SQLITE_OK) {
                // The write may have checkpointed into the file: the next
                // writer must find it as it is now.
                if (const std::optional<FileIdentity> written = identityOf(logPath()))
                    idleWriter().keep(std::move(connection), *written);
                return {};
            }
            error = connection->error();
        }
        if (attempt == 0 && isDamage(rc)) {
            if (!setAside())
                return "the call log is damaged (" + error + ") and cannot be set aside";
            logLine("calllog", "the call log was damaged (" + error + "); kept it as " + kFileName +
                                   ".damaged and began a new one");
            continue;
        }
        return "cannot record the call: " + error;
    }
}

// The reader's connection holds one read transaction for the reader's life,
// so that every row and the count come from the same state of the log.
struct Reader::State {
    std::unique_ptr<Connection> connection;  // null: there is no log yet
    std::optional<FileIdentity> file;        // the file it opened
    sqlite3_stmt* rows = nullptr;            // the connection's; null once every row was fetched
    ~State()
    {
        sqlite3_reset(rows);
        if (!connection)
            return;
        if (sqlite3_exec(connection->db(), "ROLLBACK", nullptr, nullptr, nullptr) != SQLITE_OK || !file)
            return;
        idleReader().keep(std::move(connection), *file);
    }
};

Reader::Reader(std::unique_ptr<State> state) : state_(std::move(state)) {}
Reader::~Reader() = default;

std::unique_ptr<Reader> Reader::open(std::string& error)
{
    error.clear();
    auto state = std::make_unique<State>();
    // One look at the file tells both whether there is a log yet and which
    // file a kept connection must match.
    state->file = identityOf(logPath());
    if (!state->file)
        return std::unique_ptr<Reader>(new Reader(std::move(state)));
    state->connection = readerConnection(*state->file);
    Connection& connection = *state->connection;
    if (connection.status() != SQLITE_OK) {
        error = "cannot open the call log: " + connection.error();
        return nullptr;
    }
    int rc = sqlite3_exec(connection.db(), "BEGIN", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK)
        rc = connection.newestFirst(state->rows);
    // A log begun by an older device or left half made has no table yet.
    if (rc != SQLITE_OK && sqlite3_errmsg(connection.db()) == std::string("no such table: calls")) {
        state->connection.reset();
        return std::unique_ptr<Reader>(new Reader(std::move(state)));
    }
    if (rc != SQLITE_OK) {
        error = "cannot read the call log: " + connection.error();
        return nullptr;
    }
    return std::unique_ptr<Reader>(new Reader(std::move(state)));
}

const Entry* Reader::at(std::size_t index)
{
    while (fetched_.size() <= index && state_->rows) {
        sqlite3_stmt* stmt = state_->rows;
        const int rc = sqlite3_step(stmt);
        if (rc != SQLITE_ROW) {
            if (rc != SQLITE_DONE)
                error_ = "cannot read the call log: " + state_->connection->error();
            sqlite3_reset(stmt);
            state_->rows = nullptr;
            break;
        }
        Entry entry;
        entry.start = sqlite3_column_int64(stmt, 0);
        entry.end = sqlite3_column_int64(stmt, 1);
        const int outcome = sqlite3_column_int(stmt, 2);
        entry.outcome = outcome == 1 ? Outcome::Answered : outcome == 2 ? Outcome::Rejected : Outcome::Missed;
        entry.outgoing = sqlite3_column_int(stmt, 3) != 0;
        const int cidt = sqlite3_column_int(stmt, 4);
        entry.callerIdType = cidt == CALLERIDTYPE_AVAILABLE ? CALLERIDTYPE_AVAILABLE
                             : cidt == CALLERIDTYPE_BLOCKED ? CALLERIDTYPE_BLOCKED
                                                            : CALLERIDTYPE_UNAVAILABLE;
        entry.number = columnText(stmt, 5);
        entry.name = columnText(stmt, 6);
        entry.nameType = columnText(stmt, 7);
        fetched_.push_back(std::move(entry));
    }
    return index < fetched_.size() ? &fetched_[index] : nullptr;
}

std::optional<std::size_t> Reader::count()
{
    if (!state_->connection)
        return 0;
    if (!state_->rows)  // every row fetched already
        return error_.empty() ? std::optional<std::size_t>(fetched_.size()) : std::nullopt;
    sqlite3_stmt* stmt = nullptr;
    std::optional<std::size_t> counted;
    if (sqlite3_prepare_v2(state_->connection->db(), "SELECT COUNT(*) FROM calls", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        counted = static_cast<std::size_t>(sqlite3_column_int64(stmt, 0));
    else
        error_ = "cannot count the call log: " + state_->connection->error();
    sqlite3_finalize(stmt);
    return counted;
}

std::string readAll(std::vector<Entry>& entries)
{
    entries.clear();
    std::string error;
    std::unique_ptr<Reader> reader = Reader::open(error);
    if (!reader)
        return error;
    for (std::size_t i = 0; const Entry* entry = reader->at(i); ++i)
        entries.push_back(*entry);
    if (!reader->error().empty())
        entries.clear();
    return reader->error();
}

}  // namespace handset::calllog
