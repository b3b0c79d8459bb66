// The Contacts page with many contacts: Tonquil.exe from its start to the
// shown sheet (the page reads every contact's four listed values as the
// sheet is made), and the platform's read of those values on its own, each
// next to one bare SQLite scan of the same four values from pim.vol; and
// one keystroke in the page's search box until the refilled list is drawn
// again.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include <contacts/contacts_ids.h>
#include <contacts/contacts_page.h>
#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/pimstore.h>
#include <handset/pimstore_read.h>
#include <handset/ui.h>
#include <settings/settings.h>

#include "contacts_app.h"
#include "report.h"
#include "tonquil_program.h"
#include "test_device.h"

namespace {

constexpr int kSizes[] = {1000, 10000, 100000};

// Names that spread over the alphabet, so that a first letter narrows the
// list as it would on a real phone.
constexpr const char* kLastNames[] = {"Smith", "Jones", "Miller", "Brown", "Schmidt", "Garcia", "Novak",
                                      "Olsen", "Rossi",  "Weber",  "Dubois", "Kowalski", "Ito",   "Larsen"};
constexpr const char* kFirstNames[] = {"John", "Anna", "Paul", "Maria", "Sven", "Lucia", "Tom", "Eva", "Karl"};
constexpr const char* kCompanies[] = {"Acme", "Globex", "Initech", "Umbrella", "Hooli", "Stark"};

// One device per size, its contacts made once through a single vCard
// import (one transaction), and a contacts application logged on to it.
struct Phone {
    std::unique_ptr<handset::testing::TempDevice> device;
    IPOutlookApp2* app = nullptr;
};

Phone& phoneWith(int contacts)
{
    static std::map<int, Phone> phones;
    Phone& phone = phones[contacts];
    if (!phone.device) {
        phone.device = std::make_unique<handset::testing::TempDevice>();
        settings::resetProfiles();
        std::string cards;
        for (int i = 0; i < contacts; ++i) {
            const std::string n = std::to_string(i);
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + std::string(kLastNames[i % std::size(kLastNames)]) + n +
                     ";" + kFirstNames[i % std::size(kFirstNames)] + ";;;\r\n";
            if (i % 3 == 0)
                cards += "ORG:" + std::string(kCompanies[i % std::size(kCompanies)]) + "\r\n";
            cards += "TEL;TYPE=CELL:+49 151 " + std::to_string(1000000 + i * 7) + "\r\nEND:VCARD\r\n";
        }
        if (!handset::contacts::importVCards(cards).ok())
            return phone;
        phone.app = bench::logOnContacts<IPOutlookApp2>(IID_IPOutlookApp2);
    } else {
        handset::setDeviceRoot(phone.device->root());
    }
    return phone;
}

// The whole program: its start, the sheet made (the Contacts page reads
// every contact), shown, answered at once with Cancel, and ended.
void BM_ContactsStartToShownSheet(benchmark::State& state)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    const std::string program = bench::tonquilPath();
    if (!phone.app || !std::filesystem::exists(program)) {
        state.SkipWithError("no contacts or Tonquil.exe is not built");
        return;
    }
    ::setenv("HANDSET_UI_CLOSE_WHEN_SHOWN", "1", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    for (auto _ : state) {
        if (bench::runOnce(program) != 0) {
            state.SkipWithError("Tonquil.exe did not end cleanly");
            break;
        }
    }
    ::unsetenv("HANDSET_UI_CLOSE_WHEN_SHOWN");
}

// The floor: one pass over pim.vol reading the four values the page lists
// (first name, last name, company, ring tone) of every contact, from
// opening the file to closing it.
void BM_ContactsBareScan(benchmark::State& state)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    if (!phone.app) {
        state.SkipWithError("no contacts");
        return;
    }
    const std::string volume = (handset::deviceRoot() / "pim.vol").string();
    std::size_t values = 0;
    for (auto _ : state) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(volume.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* scan = nullptr;
        sqlite3_prepare_v2(db, "SELECT oid, propid, value FROM props WHERE propid IN (?1, ?2, ?3, ?4)", -1, &scan,
                           nullptr);
        int slot = 1;
        for (CEPROPID id : {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME, PIMPR_RINGTONE})
            sqlite3_bind_int64(scan, slot++, id);
        values = 0;
        while (sqlite3_step(scan) == SQLITE_ROW) {
            // Text is stored as UTF-16 bytes.
            std::u16string value(static_cast<std::size_t>(sqlite3_column_bytes(scan, 2)) / 2, u'\0');
            std::memcpy(value.data(), sqlite3_column_blob(scan, 2), value.size() * 2);
            benchmark::DoNotOptimize(sqlite3_column_int64(scan, 0));
            benchmark::DoNotOptimize(value);
            ++values;
        }
        sqlite3_finalize(scan);
        sqlite3_close(db);
    }
    // Every contact has its two names; every third a company.
    if (values < static_cast<std::size_t>(state.range(0)) * 2)
        state.SkipWithError("the scan did not read every contact");
}

// The read the page starts with: the four values of every contact in one
// PimReadEveryContact, each value copied out as the page copies it.
void BM_ContactsReadEveryContact(benchmark::State& state)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    if (!phone.app) {
        state.SkipWithError("no contacts");
        return;
    }
    static constexpr CEPROPID kListed[] = {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME, PIMPR_RINGTONE};
    std::size_t contacts = 0;
    for (auto _ : state) {
        contacts = 0;
        const auto each = [&](CEOID oid, const CEPROPVAL* values) {
            for (int i = 0; i < 4; ++i)
                if (!(values[i].wFlags & CEDB_PROPNOTFOUND))
                    benchmark::DoNotOptimize(std::u16string(values[i].val.lpwstr));
            benchmark::DoNotOptimize(oid);
            ++contacts;
            return S_OK;
        };
        const HRESULT read = handset::PimReadEveryContact(phone.app, kListed, 4, each);
        if (FAILED(read)) {
            state.SkipWithError("the read failed");
            break;
        }
    }
    if (contacts != static_cast<std::size_t>(state.range(0)))
        state.SkipWithError("the read did not hand over every contact");
}

// One keystroke in the search box, typing "s" and deleting it in turn (so
// that the list goes from every contact to those beginning with S and
// back), through the box's own text change, until the list is drawn again.
void BM_ContactsSearchKeystroke(benchmark::State& state)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    if (!phone.app) {
        state.SkipWithError("no contacts");
        return;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    handset::ui::ensureApplication();
    tonquil::CContactsPage page(phone.app);
    CPropertySheet sheet(u"Tonquil");
    sheet.AddPage(&page);
    handset::ui::whenNextFormShown([&](CWnd*) {
        auto* box = qobject_cast<QLineEdit*>(page.GetDlgItem(tonquil::ids::IDC_CONTACTS_SEARCH)->widget());
        QWidget* list = page.list().widget();
        std::vector<double> samples;
        bool typed = false;
        for (auto _ : state) {
            const auto start = std::chrono::steady_clock::now();
            QKeyEvent press(QEvent::KeyPress, typed ? Qt::Key_Backspace : Qt::Key_S, Qt::NoModifier,
                            typed ? QString() : QStringLiteral("s"));
            QCoreApplication::sendEvent(box, &press);
            list->repaint();
            samples.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
            typed = !typed;
        }
        // After "s" only the Smiths, Schmidts and Svens are listed; after its deletion everyone again.
        const int listed = page.list().GetItemCount();
        if (typed ? listed == 0 || listed >= state.range(0) : listed != state.range(0))
            state.SkipWithError("the search did not refill the list");
        std::sort(samples.begin(), samples.end());
        if (!samples.empty())
            state.counters["p99_us"] = samples[samples.size() * 99 / 100];
        sheet.PressButton(PSBTN_CANCEL);
    });
    sheet.DoModal();
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int size : kSizes)
        b->Arg(size);
}
BENCHMARK(BM_ContactsBareScan)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactsReadEveryContact)->Apply(sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ContactsStartToShownSheet)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ContactsSearchKeystroke)->Apply(sizes)->Unit(benchmark::kMillisecond)->UseRealTime();

const std::vector<bench::Comparison> kComparisons = [] {
    std::vector<bench::Comparison> rows;
    for (int size : kSizes) {
        const std::string n = std::to_string(size);
        rows.emplace_back("BM_ContactsStartToShownSheet/" + n + "/iterations:5/real_time", "BM_ContactsBareScan/" + n,
                          size == 10000 ? "under 150 ms" : size == 100000 ? "under 1.5 s" : "");
        rows.emplace_back("BM_ContactsReadEveryContact/" + n, "BM_ContactsBareScan/" + n, "");
        rows.emplace_back("BM_ContactsSearchKeystroke/" + n + "/real_time", "",
                          size == 10000 ? "p99 under 16 ms" : "");
    }
    return rows;
}();

}  // namespace
