// The registry shared by real processes: whole values, the last writer wins,
// nobody fails because somebody else holds the database, and a process
// killed in the middle of writing loses nothing it was told was written.
#include <handset/device.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_device.h"

namespace {

using handset::testing::DeviceTest;

// A value whose every byte says which write it came from, so that a reader
// can tell a whole value from a torn one; its length varies with the stamp.
std::vector<BYTE> stampedValue(int writer, int round)
{
    const BYTE stamp = static_cast<BYTE>(writer * 64 + round % 64);
    return std::vector<BYTE>(64 + (stamp % 7) * 100, stamp);
}

bool isWhole(const std::vector<BYTE>& data, DWORD size)
{
    if (size < 64 || (size - 64) % 100 != 0)
        return false;
    for (DWORD i = 0; i < size; ++i)
        if (data[i] != data[0])
            return false;
    return data[0] % 7 == static_cast<int>((size - 64) / 100);
}

HKEY openShared()
{
    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_CURRENT_USER, u"Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

// What one child does: write its stamps and read everybody's, counting every
// call that failed and every value that was not whole. Exits with the number
// of failed calls, plus 100 when any value read was torn.
int hammer(int writer, int rounds)
{
    int failures = 0;
    bool torn = false;
    HKEY key = openShared();
    if (!key)
        return 100;
    const std::u16string own = u"own" + std::u16string(1, static_cast<char16_t>(u'0' + writer));
    std::vector<BYTE> buffer(1024);
    for (int round = 0; round < rounds; ++round) {
        const std::vector<BYTE> value = stampedValue(writer, round);
        if (RegSetValueEx(key, u"common", 0, REG_BINARY, value.data(), static_cast<DWORD>(value.size())) != 0)
            ++failures;
        if (RegSetValueEx(key, own.c_str(), 0, REG_BINARY, value.data(), static_cast<DWORD>(value.size())) != 0)
            ++failures;
        DWORD size = static_cast<DWORD>(buffer.size());
        if (RegQueryValueEx(key, u"common", nullptr, nullptr, buffer.data(), &size) != 0)
            ++failures;
        else if (!isWhole(buffer, size))
            torn = true;
    }
    RegCloseKey(key);
    return std::min(failures, 99) + (torn ? 100 : 0);
}

TEST_F(DeviceTest, ProcessesShareTheRegistryWithoutFailingOrTearing)
{
    constexpr int kWriters = 4;
    constexpr int kRounds = 400;
    HKEY key = openShared();  // the file exists before the children race for it
    ASSERT_NE(nullptr, key);

    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            _exit(hammer(writer, kRounds));
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(pid, waitpid(pid, &status, 0));
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(0, WEXITSTATUS(status)) << "failed calls or torn values in a writer";
    }

    // Each writer's last value is there, and "common" holds somebody's last.
    std::vector<BYTE> buffer(1024);
    std::vector<std::vector<BYTE>> lastValues;
    for (int writer = 0; writer < kWriters; ++writer) {
        const std::u16string own = u"own" + std::u16string(1, static_cast<char16_t>(u'0' + writer));
        DWORD size = static_cast<DWORD>(buffer.size());
        ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, own.c_str(), nullptr, nullptr, buffer.data(), &size));
        lastValues.push_back(stampedValue(writer, kRounds - 1));
        EXPECT_EQ(lastValues.back(), std::vector<BYTE>(buffer.begin(), buffer.begin() + size));
    }
    DWORD size = static_cast<DWORD>(buffer.size());
    ASSERT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"common", nullptr, nullptr, buffer.data(), &size));
    const std::vector<BYTE> common(buffer.begin(), buffer.begin() + size);
    EXPECT_NE(lastValues.end(), std::find(lastValues.begin(), lastValues.end(), common));
    RegCloseKey(key);
}

std::string integrityOf(const std::filesystem::path& db)
{
    sqlite3* connection = nullptr;
    std::string result = "cannot open";
    if (sqlite3_open_v2(db.c_str(), &connection, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_exec(
            connection, "PRAGMA integrity_check",
            [](void* out, int, char** values, char**) {
                *static_cast<std::string*>(out) = values[0] ? values[0] : "";
                return 0;
            },
            &result, nullptr);
    }
    sqlite3_close(connection);
    return result;
}

TEST_F(DeviceTest, KilledWriterLosesNothingItWasToldWasWritten)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_CURRENT_USER, u"Kill", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));

    int acknowledged = 0;
    for (int run = 0; run < 5; ++run) {
        SCOPED_TRACE(run);
        int pipeFds[2];
        ASSERT_EQ(0, pipe(pipeFds));
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(pipeFds[0]);
            HKEY child = nullptr;
            RegOpenKeyEx(HKEY_CURRENT_USER, u"Kill", 0, KEY_ALL_ACCESS, &child);
            for (int n = acknowledged;; ++n) {
                const std::u16string name = u"v" + handset::fromUtf8(std::to_string(n));
                const DWORD value = static_cast<DWORD>(n);
                // A large neighbour makes each write span several pages.
                std::vector<BYTE> bulk(3000, static_cast<BYTE>(n));
                if (RegSetValueEx(child, u"bulk", 0, REG_BINARY, bulk.data(), 3000) != ERROR_SUCCESS ||
                    RegSetValueEx(child, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) !=
                        ERROR_SUCCESS)
                    _exit(1);
                if (write(pipeFds[1], &n, sizeof n) != sizeof n)
                    _exit(2);
            }
        }
        close(pipeFds[1]);
        // Let it get going, then kill it between any two instructions.
        int n = 0;
        const int target = acknowledged + 50 + run * 37;
        while (read(pipeFds[0], &n, sizeof n) == sizeof n && n < target) {
        }
        kill(pid, SIGKILL);
        while (read(pipeFds[0], &n, sizeof n) == sizeof n) {
        }
        close(pipeFds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        acknowledged = n + 1;

        EXPECT_EQ("ok", integrityOf(device_.root() / "registry.db"));
        for (int i = 0; i < acknowledged; ++i) {
            const std::u16string name = u"v" + handset::fromUtf8(std::to_string(i));
            DWORD value = 0xdeadbeef, size = 4;
            ASSERT_EQ(ERROR_SUCCESS,
                      RegQueryValueEx(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size))
                << "acknowledged write " << i << " lost";
            ASSERT_EQ(static_cast<DWORD>(i), value);
        }
    }
    RegCloseKey(key);
}

TEST_F(DeviceTest, FlushMovesEverythingIntoTheDatabaseFile)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyEx(HKEY_CURRENT_USER, u"Flush", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    const DWORD value = 42;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
    ASSERT_EQ(ERROR_SUCCESS, RegFlushKey(key));

    // Every frame of the write-ahead log has been copied into the database
    // (and synced on the way), so nothing depends on the log any more.
    sqlite3* db = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((device_.root() / "registry.db").c_str(), &db));
    int logFrames = -1, copied = -2;
    ASSERT_EQ(SQLITE_OK, sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &logFrames, &copied));
    EXPECT_EQ(logFrames, copied);
    sqlite3_close(db);
    RegCloseKey(key);
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegFlushKey(key));
}

}  // namespace
