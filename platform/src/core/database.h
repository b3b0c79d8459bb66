// What the device's SQLite stores (the registry, the contacts volume) share:
// one connection per process to one file of the device, prepared statements
// kept for the connection's life, and statements that always reset.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <handset/faults.h>

struct sqlite3;
struct sqlite3_stmt;

namespace handset::detail {

// A prepared statement in use: bound on the way in, always reset on the way
// out, so that no read transaction outlives the call that started it. Bound
// values are copied, so a temporary may be bound and the statement stepped
// later.
class Statement {
public:
    Statement(sqlite3_stmt* stmt, faults::Store store) : stmt_(stmt), store_(store) {}
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(std::int64_t value);
    Statement& bind(double value);
    Statement& bind(std::u16string_view text);  // as a blob of UTF-16 code units
    Statement& bind(std::span<const std::uint8_t> blob);
    Statement& bindText(std::string_view text);

    // SQLITE_ROW, SQLITE_DONE or an error code. Every step counts as one
    // storage step of the store for fault injection.
    int step();

    bool isNull(int column) const;
    int type(int column) const;  // SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_BLOB, ...
    std::int64_t integer(int column) const;
    double real(int column) const;
    std::u16string string(int column) const;  // from a blob of code units
    std::span<const std::uint8_t> blob(int column) const;
    std::string_view text(int column) const;

private:
    sqlite3_stmt* stmt_;
    faults::Store store_;
    int next_ = 1;
};

// The SQLite code a fault injected into `store` stands for, when a test armed
// one for this step; 0 otherwise.
int injectedFault(faults::Store store);

class DeviceDatabase;

// The blocking lock every process of the device takes on a lock file beside
// a store before a write transaction and keeps until it ends. Waiting
// writers sleep in the kernel and are woken as soon as it is free, instead
// of polling with SQLite's busy handler, whose growing sleeps let one waiter
// miss its turn again and again while others write. The lock belongs to an
// open file description, so it goes with its process, however that ends.
//
// Each process keeps one descriptor of the lock file open for as long as it
// works on the device: opening and closing the file took longer than the
// lock itself. Threads of one process share that description, and the locks
// of one description never exclude each other, so a mutex of the process
// makes them take turns first. A lock file that cannot be opened leaves the
// writer to SQLite's busy handler.
//
// A release yields the processor only when some writer waits, counted in
// the lock file for other processes' and beside the mutex for this one's.
class WriterLock {
public:
    explicit WriterLock(DeviceDatabase& database);
    ~WriterLock();
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

private:
    DeviceDatabase& database_;
    std::uint64_t forks_;  // the process's forks when taken: a forked child's release undoes nothing
    bool locked_ = false;  // the file lock, besides the process's mutex
};

// One SQLite file of the device and this process's one connection to it.
// Made once per store and never destroyed, so that objects released while
// the process exits still find their lock.
//
// The connection is opened on first use and kept: opening costs many times
// a point read, and a second descriptor on the file, once closed, would drop
// the process's locks. It is reopened when the process moves to another
// device. A forked child forgets its parent's connection (closing it would
// act on the parent's locks) and opens its own; it closes its copy of the
// writer lock's descriptor, which shares the parent's lock, and opens the
// file anew.
class DeviceDatabase {
public:
    // `statements` are the store's statements, prepared on first use and
    // named by their index; `schema` makes the tables when they are missing.
    DeviceDatabase(std::string fileName, faults::Store store, const char* schema,
                   std::span<const char* const> statements);
    DeviceDatabase(const DeviceDatabase&) = delete;
    DeviceDatabase& operator=(const DeviceDatabase&) = delete;

    // Held by every call for as long as it uses the connection; recursive,
    // so that a batch can hold it across the calls it makes.
    std::recursive_mutex& mutex() { return *mutex_; }

    // Opens the connection to the current device's file when it is not open
    // yet; SQLITE_OK or the failure. Call with the mutex held.
    int open();

    sqlite3* db() const { return db_; }
    Statement statement(std::size_t index);

    // Called when the connection is dropped, for caches tied to it.
    std::function<void()> onDrop;

    // Runs `sql` as a fault-free step (the undoing of a failed write, which
    // fault tests check, must itself never fail by injection).
    void execute(const char* sql);

private:
    friend void afterForkInChild();
    friend class WriterLock;
    void close();
    void forget();
    // The descriptor of the current device's writer lock file, opened when
    // there is none yet or the process moved to another device; -1 when it
    // cannot be opened. Call with writerMutex() held.
    int writerLockDescriptor();
    void dropWriterLockFile();
    std::mutex& writerMutex() { return *writerMutex_; }
    static constexpr int kWriterFileSize = 4096;

    std::string fileName_;
    faults::Store store_;
    const char* schema_;
    int schemaMark_;  // kept in the file's user_version once the schema is in place
    std::span<const char* const> sql_;
    alignas(std::recursive_mutex) unsigned char mutexStorage_[sizeof(std::recursive_mutex)];
    std::recursive_mutex* mutex_;
    alignas(std::mutex) unsigned char writerMutexStorage_[sizeof(std::mutex)];
    std::mutex* writerMutex_;
    int writerFd_ = -1;
    void* writerShared_ = nullptr;  // the lock file, mapped: the count of writers waiting for it
    std::uint64_t writerGeneration_ = 0;
    std::atomic<int> localWaiting_{0};  // this process's threads waiting for writerMutex_
    std::uint64_t forks_ = 0;  // how often this process was forked from the one that made this object
    sqlite3* db_ = nullptr;
    std::uint64_t generation_ = 0;
    std::vector<sqlite3_stmt*> prepared_;
};

}  // namespace handset::detail
