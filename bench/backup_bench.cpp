// Backing up and restoring the settings of 10,000 contacts, all with their
// own tones (no tone files in the backup), next to one bare SQLite scan of
// every property of the same contacts.
#include <sqlite3.h>

#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include <backup/backup.h>
#include <backup/restore.h>
#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/host_file.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include "contacts_app.h"
#include "report.h"
#include "test_device.h"

namespace {

constexpr int kContacts = 10000;
const std::u16string kBackup = u"\\My Documents\\Bench.tqb";

struct Phone {
    Phone()
    {
        handset::setDeviceRoot(device.root());
        settings::resetProfiles();
        std::string cards;
        for (int i = 0; i < kContacts; ++i)
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Caller" + std::to_string(i) +
                     ";Bench;;;\r\nCATEGORIES:Family\r\nTEL;TYPE=CELL:+49 170 " + std::to_string(3000000 + i * 7) +
                     "\r\nEND:VCARD\r\n";
        const handset::contacts::VCardImportResult imported = handset::contacts::importVCards(cards);
        for (std::size_t i = 0; i < imported.added.size(); ++i) {
            handset::contacts::ContactChanges tones;
            tones.ringTone = u"\\My Documents\\My Ringtones\\Ring" + handset::fromUtf8(std::to_string(i % 50)) + u".wav";
            tones.smsTone = u"\\Windows\\Alert.wav";
            tones.priority = static_cast<WORD>(i % 3);
            (void)handset::contacts::setContact(imported.added[i], tones);
        }
        settings::ensureCategoryKey(u"Family");
        settings::writeCategoryPriority(u"Family", settings::PriorityVip);
        app = bench::logOnContacts<IPOutlookApp2>(IID_IPOutlookApp2);
    }
    ~Phone()
    {
        bench::logOffContacts(app);
    }

    handset::testing::TempDevice device;
    IPOutlookApp2* app = nullptr;
};

Phone& phone()
{
    static Phone shared;
    handset::setDeviceRoot(shared.device.root());
    return shared;
}

// The floor: one pass over every property row of pim.vol, from opening the
// file to closing it.
void BM_Backup_BareScan(benchmark::State& state)
{
    phone();
    const std::string volume = (handset::deviceRoot() / "pim.vol").string();
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(volume.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* scan = nullptr;
        sqlite3_prepare_v2(db, "SELECT oid, propid, value FROM props", -1, &scan, nullptr);
        while (sqlite3_step(scan) == SQLITE_ROW) {
            std::string value(static_cast<std::size_t>(sqlite3_column_bytes(scan, 2)), '\0');
            if (!value.empty())
                std::memcpy(value.data(), sqlite3_column_blob(scan, 2), value.size());
            benchmark::DoNotOptimize(value);
        }
        sqlite3_finalize(scan);
        sqlite3_close(db);
    }
}
BENCHMARK(BM_Backup_BareScan)->Unit(benchmark::kMillisecond);

void BM_Backup_BackUp(benchmark::State& state)
{
    Phone& p = phone();
    for (auto _ : state) {
        const tonquil::backup::BackupReport report =
            tonquil::backup::backUpSettings(p.app, kBackup, tonquil::backup::ToneFiles::Leave);
        if (!report.ok)
            state.SkipWithError(report.error.c_str());
    }
}
BENCHMARK(BM_Backup_BackUp)->Iterations(3)->Unit(benchmark::kMillisecond);

// Reading, checking, planning and applying, onto the same contacts.
void BM_Backup_Restore(benchmark::State& state)
{
    Phone& p = phone();
    if (!tonquil::backup::backUpSettings(p.app, kBackup, tonquil::backup::ToneFiles::Leave).ok) {
        state.SkipWithError("no backup");
        return;
    }
    for (auto _ : state) {
        tonquil::backup::ReadBackupResult read = tonquil::backup::readBackupFile(kBackup);
        if (!read.ok()) {
            state.SkipWithError(read.error.c_str());
            break;
        }
        tonquil::backup::PlanResult planned = tonquil::backup::planRestore(p.app, std::move(*read.contents));
        if (!planned.ok() || planned.plan->matches.size() != kContacts ||
            !tonquil::backup::applyRestore(p.app, *planned.plan).ok) {
            state.SkipWithError("the restore failed");
            break;
        }
    }
}
BENCHMARK(BM_Backup_Restore)->Iterations(3)->Unit(benchmark::kMillisecond);

const bench::Comparison kComparisons[] = {
    {"BM_Backup_BareScan", "", "one bare SQLite scan of 10,000 contacts' properties"},
    {"BM_Backup_BackUp/iterations:3", "BM_Backup_BareScan", "under 1 s for 10,000 contacts with tones"},
    {"BM_Backup_Restore/iterations:3", "BM_Backup_BareScan", "under 2 s for 10,000 contacts with tones"},
};

}  // namespace
