// The cost of a call's ring decision (resolve, write, refresh) as the
// contacts grow, next to a bare indexed SQLite lookup of the same number.
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/pimstore.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "contacts_app.h"
#include "report.h"
#include "ring_settings.h"
#include "test_device.h"

namespace {

constexpr int kSizes[] = {100, 1000, 10000, 100000};

// The number of contact i, unique in its last seven digits.
std::string numberOf(int i)
{
    char text[32];
    std::snprintf(text, sizeof text, "+49 151 %07d", 1000000 + i * 7);
    return text;
}

// One device per size, filled once through a single vCard import.
struct Phone {
    std::unique_ptr<handset::testing::TempDevice> device;
    IPOutlookApp* app = nullptr;
};

Phone& phoneWith(int contacts)
{
    static std::map<int, Phone> phones;
    Phone& phone = phones[contacts];
    if (!phone.device) {
        phone.device = std::make_unique<handset::testing::TempDevice>();
        settings::resetProfiles();
        for (const char16_t* path :
             {u"ControlPanel\\Sounds\\RingTone0", u"ControlPanel\\Sounds\\PlmORingTone1",
              u"ControlPanel\\SoundCategories\\Ring"}) {
            HKEY key = nullptr;
            RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
            RegCloseKey(key);
        }
        std::string cards;
        for (int i = 0; i < contacts; ++i) {
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Caller" + std::to_string(i) + ";Test;;;\r\nTEL;TYPE=CELL:" +
                     numberOf(i) + "\r\nCATEGORIES:Friends\r\nEND:VCARD\r\n";
        }
        (void)handset::contacts::importVCards(cards);
        phone.app = bench::logOnContacts();
    } else {
        handset::setDeviceRoot(phone.device->root());
    }
    return phone;
}

// Times each iteration, so that the 99th percentile can be told.
template <typename Work>
void measure(benchmark::State& state, Work work)
{
    std::vector<double> samples;
    samples.reserve(100000);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        work();
        samples.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(samples.begin(), samples.end());
    state.counters["p99_us"] = samples[samples.size() * 99 / 100];
}

void BM_BareIndexedLookup(benchmark::State& state)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    (void)phone;
    sqlite3* db = nullptr;
    sqlite3_open_v2((handset::deviceRoot() / "pim.vol").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* find = nullptr;
    sqlite3_prepare_v2(db, "SELECT oid, propid, digits FROM phone_index WHERE tail = ?1", -1, &find, nullptr);
    std::string tail = numberOf(static_cast<int>(state.range(0)) / 2);
    tail.erase(std::remove(tail.begin(), tail.end(), ' '), tail.end());
    tail = std::string(tail.rbegin(), tail.rbegin() + 7);
    measure(state, [&] {
        sqlite3_bind_text(find, 1, tail.c_str(), -1, SQLITE_STATIC);
        if (sqlite3_step(find) != SQLITE_ROW)
            state.SkipWithError("number not found");
        benchmark::DoNotOptimize(sqlite3_column_int64(find, 0));
        sqlite3_reset(find);
    });
    sqlite3_finalize(find);
    sqlite3_close(db);
}

void BM_ApplyRingSettings_Known(benchmark::State& state)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    const std::u16string caller = handset::fromUtf8(numberOf(static_cast<int>(state.range(0)) / 2));
    measure(state, [&] { tolvane::applyRingSettings(phone.app, caller.c_str()); });
}

void BM_ApplyRingSettings_Unknown(benchmark::State& state)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    measure(state, [&] { tolvane::applyRingSettings(phone.app, u"+44 20 7946 0018"); });
}

void BM_ApplyRingSettings_NoCallerId(benchmark::State& state)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    measure(state, [&] { tolvane::applyRingSettings(phone.app, nullptr); });
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int size : kSizes)
        b->Arg(size);
}
BENCHMARK(BM_BareIndexedLookup)->Apply(sizes);
BENCHMARK(BM_ApplyRingSettings_Known)->Apply(sizes);
BENCHMARK(BM_ApplyRingSettings_Unknown)->Apply(sizes);
BENCHMARK(BM_ApplyRingSettings_NoCallerId)->Apply(sizes);

const std::vector<bench::Comparison> kComparisons = [] {
    std::vector<bench::Comparison> rows;
    for (const char* kind : {"Known", "Unknown", "NoCallerId"}) {
        for (int size : kSizes) {
            const std::string n = std::to_string(size);
            rows.emplace_back(std::string("BM_ApplyRingSettings_") + kind + "/" + n, "BM_BareIndexedLookup/" + n,
                              size == 10000 ? "p99 under 1 ms; flat from 1,000 to 100,000 (within 2x)"
                                            : "flat from 1,000 to 100,000 (within 2x)");
        }
    }
    return rows;
}();

}  // namespace
