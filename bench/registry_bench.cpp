// The registry's round trips against a bare SQLite point read of the same row,
// and the settings reads that every call and message make.
#include <handset/clock.h>
#include <handset/device.h>
#include <handset/registry.h>
#include <settings/settings.h>

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include <benchmark/benchmark.h>

#include "report.h"
#include "test_device.h"

namespace {

// One device for the whole run, with the profiles the installer would leave.
handset::testing::TempDevice& device()
{
    static auto* shared = [] {
        auto* made = new handset::testing::TempDevice;
        settings::resetProfiles();
        return made;
    }();
    return *shared;
}

const char16_t* const kProfiles = u"Software\\Quorrel\\Tonquil\\Profiles";

// The floor: the same row read through a kept statement on a connection of
// its own, with none of the registry's work around it.
void BM_BareSqlitePointRead(benchmark::State& state)
{
    device();
    sqlite3* db = nullptr;
    sqlite3_open_v2((handset::deviceRoot() / "registry.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* find = nullptr;
    sqlite3_prepare_v2(db, "SELECT id FROM keys WHERE path = ?1", -1, &find, nullptr);
    sqlite3_bind_text(find, 1, "HKCU\\SOFTWARE\\QUORREL\\TONQUIL\\PROFILES", -1, SQLITE_STATIC);
    sqlite3_step(find);
    const sqlite3_int64 key = sqlite3_column_int64(find, 0);
    sqlite3_finalize(find);

    sqlite3_stmt* read = nullptr;
    sqlite3_prepare_v2(db, "SELECT type, data FROM vals WHERE key = ?1 AND fname = ?2", -1, &read, nullptr);
    for (auto _ : state) {
        sqlite3_bind_int64(read, 1, key);
        sqlite3_bind_text(read, 2, "CURRENTPROFILE", -1, SQLITE_STATIC);
        if (sqlite3_step(read) != SQLITE_ROW)
            state.SkipWithError("row missing");
        benchmark::DoNotOptimize(sqlite3_column_blob(read, 1));
        sqlite3_reset(read);
    }
    sqlite3_finalize(read);
    sqlite3_close(db);
}
BENCHMARK(BM_BareSqlitePointRead);

// The floor of a write: one row of the same table upserted through a kept
// statement on a connection of its own, as a transaction of its own with the
// registry's journal settings (WAL, synchronous NORMAL). What a registry
// write costs beyond this is the registry's own.
void BM_BareSqliteWrite(benchmark::State& state)
{
    device();
    sqlite3* db = nullptr;
    sqlite3_open_v2((handset::deviceRoot() / "registry.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_busy_timeout(db, 60'000);
    sqlite3_exec(db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    sqlite3_stmt* write = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO vals(key, fname, name, seq, type, data) "
                       "SELECT id, 'BAREWRITE', 'bareWrite', 1000000, 4, ?1 FROM keys WHERE path = ?2 "
                       "ON CONFLICT(key, fname) DO UPDATE SET type = excluded.type, data = excluded.data",
                       -1, &write, nullptr);
    std::uint32_t value = 0;
    for (auto _ : state) {
        ++value;
        sqlite3_bind_blob(write, 1, &value, sizeof value, SQLITE_STATIC);
        sqlite3_bind_text(write, 2, "HKCU\\SOFTWARE\\QUORREL\\TONQUIL\\PROFILES", -1, SQLITE_STATIC);
        if (sqlite3_step(write) != SQLITE_DONE || sqlite3_changes(db) != 1)
            state.SkipWithError("write failed");
        sqlite3_reset(write);
    }
    sqlite3_finalize(write);
    sqlite3_close(db);
}
BENCHMARK(BM_BareSqliteWrite);

void BM_RegOpenQueryClose(benchmark::State& state)
{
    device();
    for (auto _ : state) {
        HKEY key = nullptr;
        DWORD value = 0, size = 4;
        if (RegOpenKeyEx(HKEY_CURRENT_USER, kProfiles, 0, KEY_READ, &key) != ERROR_SUCCESS ||
            RegQueryValueEx(key, u"currentProfile", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS)
            state.SkipWithError("read failed");
        RegCloseKey(key);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_RegOpenQueryClose);

void BM_RegSetValueEx(benchmark::State& state)
{
    device();
    HKEY key = nullptr;
    RegOpenKeyEx(HKEY_CURRENT_USER, kProfiles, 0, KEY_ALL_ACCESS, &key);
    DWORD value = 0;
    for (auto _ : state) {
        ++value;
        if (RegSetValueEx(key, u"benchValue", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4) !=
            ERROR_SUCCESS)
            state.SkipWithError("write failed");
    }
    RegCloseKey(key);
}
BENCHMARK(BM_RegSetValueEx);

void BM_ReadProfileInForce(benchmark::State& state)
{
    device();
    settings::writeCurrentProfile(0);
    for (auto _ : state) {
        settings::ProfileRecord record;
        if (!settings::readProfileInForce(record))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(record);
    }
}
BENCHMARK(BM_ReadProfileInForce);

// With the schedule deciding, a call also reads the schedule and the clock.
void BM_ReadProfileInForceScheduled(benchmark::State& state)
{
    device();
    const settings::ScheduleEntry entries[] = {{420, 0}, {1320, 2}};
    settings::writeSchedule(entries, 2);
    settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);
    for (auto _ : state) {
        settings::ProfileRecord record;
        if (!settings::readProfileInForce(record))
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(record);
    }
    settings::writeCurrentProfile(0);
}
BENCHMARK(BM_ReadProfileInForceScheduled);

const bench::Comparison kComparisons[] = {
    {"BM_RegOpenQueryClose", "BM_BareSqlitePointRead", "within 3x of the bare read"},
    {"BM_RegSetValueEx", "BM_BareSqlitePointRead", "under 15 us"},
    {"BM_RegSetValueEx", "BM_BareSqliteWrite", "the registry's own share of a write"},
    {"BM_ReadProfileInForce", "BM_BareSqlitePointRead", "under 50 us"},
    {"BM_ReadProfileInForceScheduled", "BM_BareSqlitePointRead", "under 50 us"},
};

}  // namespace
