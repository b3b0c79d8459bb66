#include "core/database.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sqlite3.h>

#include <atomic>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include <handset/device.h>

#include "core/device_internal.h"
#include "core/faults_internal.h"

namespace handset::detail {

namespace {

// Another process holds the write lock only for the microseconds of one
// call; waiting is always better than failing.
constexpr int kBusyTimeoutMs = 60'000;

std::mutex databasesMutex;
std::vector<DeviceDatabase*>& databases()
{
    static auto* all = new std::vector<DeviceDatabase*>;
    return *all;
}

void beforeFork()
{
    databasesMutex.lock();
    for (DeviceDatabase* database : databases())
        database->mutex().lock();
}

void afterForkInParent()
{
    for (DeviceDatabase* database : databases())
        database->mutex().unlock();
    databasesMutex.unlock();
}

// A mark of a schema's text, kept in the file's user_version once the
// schema is in place: never 0, which a new file holds.
int schemaMark(const char* schema)
{
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char* c = schema; *c; ++c)
        hash = (hash ^ static_cast<unsigned char>(*c)) * 16777619u;
    return static_cast<int>((hash & 0x7fffffffu) | 1u);
}

// Whether the file's tables are those of the schema marked `mark`, read
// from the file's header.
bool schemaInPlace(sqlite3* db, int mark)
{
    sqlite3_stmt* version = nullptr;
    bool inPlace = false;
    if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr) == SQLITE_OK &&
        sqlite3_step(version) == SQLITE_ROW)
        inPlace = sqlite3_column_int(version, 0) == mark;
    sqlite3_finalize(version);
    return inPlace;
}

}  // namespace

// The child's only thread has a new thread id, so it cannot unlock what the
// forking thread locked: each mutex is made anew instead.
void afterForkInChild()
{
    new (&databasesMutex) std::mutex;
    for (DeviceDatabase* database : databases())
        database->forget();
}

int injectedFault(faults::Store store)
{
    const auto fault = takeStorageStep(store);
    if (!fault)
        return 0;
    switch (*fault) {
    case faults::Fault::Busy:
        return SQLITE_BUSY;
    case faults::Fault::DiskFull:
        return SQLITE_FULL;
    case faults::Fault::IoError:
        break;
    }
    return SQLITE_IOERR;
}

namespace {

// The count, in the lock file, of writers of every process now waiting for
// the file lock. It only decides whether a release yields: a writer killed
// while waiting leaves it too high, which costs the releasers a yield each,
// as every release once did, and never a turn.
std::atomic_ref<std::uint32_t> waitingOf(void* mapped)
{
    return std::atomic_ref<std::uint32_t>(*static_cast<std::uint32_t*>(mapped));
}

// Without the count (the file could not be mapped) every release yields.
bool othersWait(void* mapped)
{
    return !mapped || waitingOf(mapped).load() > 0;
}

struct flock wholeFile(short type)
{
    struct flock whole {};
    whole.l_type = type;
    whole.l_whence = SEEK_SET;
    return whole;
}

}  // namespace

WriterLock::WriterLock(DeviceDatabase& database) : database_(database)
{
    if (!database_.writerMutex().try_lock()) {
        ++database_.localWaiting_;
        database_.writerMutex().lock();
        --database_.localWaiting_;
    }
    forks_ = database_.forks_;
    const int fd = database_.writerLockDescriptor();
    if (fd < 0)
        return;
    struct flock whole = wholeFile(F_WRLCK);
    int rc = ::fcntl(fd, F_OFD_SETLK, &whole);
    if (rc != 0 && (errno == EAGAIN || errno == EACCES || errno == EINTR)) {
        void* const shared = database_.writerShared_;
        if (shared)
            waitingOf(shared)++;
        while ((rc = ::fcntl(fd, F_OFD_SETLKW, &whole)) != 0 && errno == EINTR) {
        }
        if (shared)
            waitingOf(shared)--;
    }
    locked_ = rc == 0;
}

WriterLock::~WriterLock()
{
    // A child forked while this thread held the lock has its own mutex and
    // no descriptor of the parent's: the parent's lock is the parent's to
    // release.
    if (database_.forks_ != forks_)
        return;
    bool waited = database_.localWaiting_ > 0;
    if (locked_) {
        struct flock whole = wholeFile(F_UNLCK);
        ::fcntl(database_.writerFd_, F_OFD_SETLK, &whole);
        waited = waited || othersWait(database_.writerShared_);
    }
    database_.writerMutex().unlock();
    // The kernel wakes the waiters but hands the lock to none of them: a
    // writer that asked again at once would take it before they run.
    // Letting them run first keeps the turns fair. With nobody waiting
    // there is nobody to let run, and a yield on a busy processor would
    // hand it to other programs for a whole time slice.
    if (waited)
        sched_yield();
}

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
    if (const int fault = injectedFault(store_))
        return fault;
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

DeviceDatabase::DeviceDatabase(std::string fileName, faults::Store store, const char* schema,
                               std::span<const char* const> statements)
    : fileName_(std::move(fileName)), store_(store), schema_(schema), schemaMark_(schemaMark(schema)),
      sql_(statements),
      mutex_(new (mutexStorage_) std::recursive_mutex), writerMutex_(new (writerMutexStorage_) std::mutex),
      prepared_(statements.size(), nullptr)
{
    static const bool forkHandlers = [] {
        pthread_atfork(beforeFork, afterForkInParent, afterForkInChild);
        return true;
    }();
    (void)forkHandlers;
    std::lock_guard lock(databasesMutex);
    databases().push_back(this);
}

int DeviceDatabase::open()
{
    const std::uint64_t generation = deviceGeneration();
    if (db_ && generation_ == generation)
        return SQLITE_OK;
    if (db_)
        close();  // the process moved to another device

    // Opening is a storage step like any other: a full disk or an I/O error
    // can stop it, and the first call that needed the file must say so.
    if (const int fault = injectedFault(store_))
        return fault;

    const std::string path = (deviceRoot() / fileName_).string();
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        // WAL lets readers run beside a writer; NORMAL synchronisation keeps
        // every committed call through a crash of the process (a checkpoint
        // makes it durable on disk). A larger checkpoint interval spreads the
        // checkpoint's syncs over more writes.
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=4000;",
                          nullptr, nullptr, nullptr);
    }
    // Making the tables takes the write lock; a file that has them, which
    // is every open but the first, is only read.
    if (rc == SQLITE_OK && !schemaInPlace(db, schemaMark_)) {
        rc = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_exec(db, schema_, nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK)
                rc = sqlite3_exec(db, ("PRAGMA user_version = " + std::to_string(schemaMark_)).c_str(), nullptr,
                                  nullptr, nullptr);
            const int end = sqlite3_exec(db, rc == SQLITE_OK ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK)
                rc = end;
        }
    }
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return rc;
    }
    db_ = db;
    generation_ = generation;
    return SQLITE_OK;
}

int DeviceDatabase::writerLockDescriptor()
{
    const std::uint64_t generation = deviceGeneration();
    if (writerFd_ >= 0 && writerGeneration_ == generation)
        return writerFd_;
    // No thread holds the old device's lock: every hold keeps the mutex.
    dropWriterLockFile();
    const std::filesystem::path file = deviceRoot() / (fileName_ + "-writer");
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    // The file holds the count of waiting writers. Its block is allocated
    // before it is mapped, so that a full disk refuses the mapping here
    // rather than fault the process on the first count; allocating it is
    // the same whichever process does it first.
    struct stat status {};
    void* mapped = MAP_FAILED;
    if (::fstat(fd, &status) == 0 &&
        (status.st_size >= kWriterFileSize || ::posix_fallocate(fd, 0, kWriterFileSize) == 0))
        mapped = ::mmap(nullptr, kWriterFileSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    writerFd_ = fd;
    writerShared_ = mapped == MAP_FAILED ? nullptr : mapped;
    writerGeneration_ = generation;
    return writerFd_;
}

void DeviceDatabase::dropWriterLockFile()
{
    if (writerShared_)
        ::munmap(writerShared_, kWriterFileSize);
    if (writerFd_ >= 0)
        ::close(writerFd_);
    writerShared_ = nullptr;
    writerFd_ = -1;
}

Statement DeviceDatabase::statement(std::size_t index)
{
    assert(db_ && index < prepared_.size());
    sqlite3_stmt*& slot = prepared_[index];
    if (!slot) {
        // A statement that cannot be prepared is a bug in its store; the
        // step on a null statement then reports SQLITE_MISUSE.
        sqlite3_prepare_v3(db_, sql_[index], -1, SQLITE_PREPARE_PERSISTENT, &slot, nullptr);
    }
    return Statement(slot, store_);
}

void DeviceDatabase::execute(const char* sql)
{
    sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

void DeviceDatabase::close()
{
    for (sqlite3_stmt*& stmt : prepared_) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    sqlite3_close_v2(db_);
    db_ = nullptr;
    if (onDrop)
        onDrop();
}

void DeviceDatabase::forget()
{
    mutex_ = new (mutexStorage_) std::recursive_mutex;
    // The inherited descriptor shares the parent's open file description,
    // and with it the parent's lock: locking through it would succeed while
    // the parent writes. Closing this copy leaves the parent's lock as it is.
    writerMutex_ = new (writerMutexStorage_) std::mutex;
    localWaiting_ = 0;
    dropWriterLockFile();
    ++forks_;
    std::fill(prepared_.begin(), prepared_.end(), nullptr);  // the parent's, left untouched
    db_ = nullptr;
    if (onDrop)
        onDrop();
}

}  // namespace handset::detail
