// The SMS tone service's work for one text message (read the message, find
// the sender, decide tone and priority, write the notification settings,
// start the player) as the contacts grow, next to the call side's ring
// decision at the same size. The player is not installed, so the start is
// attempted and logged but no process runs: playing belongs to the player's
// own process and is not the service's latency.
#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/mapi.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "fake_store.h"
#include "mail_rule_client.h"
#include "report.h"
#include "test_device.h"

namespace {

constexpr int kSizes[] = {100, 10000};

// The number of contact i, unique in its last seven digits.
std::string numberOf(int i)
{
    char text[32];
    std::snprintf(text, sizeof text, "+49 170 %07d", 3000000 + i * 11);
    return text;
}

void setDword(HKEY key, const char16_t* name, DWORD value)
{
    RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// One device per size: the contacts in a category with an SMS tone, the
// contact messaged with a tone of its own, a phone whose notification can
// play MIDI, and one rule client.
struct Phone {
    std::unique_ptr<handset::testing::TempDevice> device;
    smeldry::testing::FakeStore store;
    smeldry::CMailRuleClient* client = nullptr;
};

Phone& phoneWith(int contacts)
{
    static std::map<int, Phone> phones;
    Phone& phone = phones[contacts];
    if (phone.device) {
        handset::setDeviceRoot(phone.device->root());
        return phone;
    }
    phone.device = std::make_unique<handset::testing::TempDevice>();
    settings::resetProfiles();
    settings::writeCategorySmsTone(u"Friends", u"\\My Documents\\My Ringtones\\Friends.wav");
    settings::writeClassSmsTone(settings::UnknownCaller, u"\\Windows\\Alert.wav");
    HKEY key = nullptr;
    RegCreateKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, nullptr, 0, 0, nullptr, &key, nullptr);
    setDword(key, u"Options", NOTIFICATION_OPTION_SOUND | NOTIFICATION_OPTION_DISPLAY);
    setDword(key, u"VibrateWithRingerOff", 0);
    setDword(key, u"VibrateWithRingerOn", 0);
    RegCloseKey(key);

    std::string cards;
    for (int i = 0; i < contacts; ++i) {
        cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Sender" + std::to_string(i) + ";Test;;;\r\nTEL;TYPE=CELL:" +
                 numberOf(i) + "\r\nCATEGORIES:Friends\r\nEND:VCARD\r\n";
    }
    const handset::contacts::VCardImportResult imported = handset::contacts::importVCards(cards);
    if (imported.ok() && !imported.added.empty()) {
        handset::contacts::ContactChanges own;
        own.smsTone = u"\\My Documents\\My Ringtones\\Bell.wav";
        (void)handset::contacts::setContact(imported.added[static_cast<std::size_t>(contacts / 2)], own);
    }
    phone.client = new smeldry::CMailRuleClient;
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

void processMessages(benchmark::State& state, const std::u16string& sender)
{
    Phone& phone = phoneWith(static_cast<int>(state.range(0)));
    smeldry::testing::StoredMessage message;
    message.sender = sender;
    std::vector<BYTE> id = phone.store.add(message);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    measure(state, [&] {
        MRCHANDLED handled = MRC_HANDLED_DONTCONTINUE;
        const HRESULT hr = phone.client->ProcessMessage(&phone.store, static_cast<ULONG>(id.size()),
                                                        reinterpret_cast<LPENTRYID>(id.data()), 0, nullptr, nullptr,
                                                        &handled);
        if (hr != S_OK || handled != MRC_NOT_HANDLED)
            state.SkipWithError("the message was not processed");
    });
    CoUninitialize();
}

void BM_SmsProcessMessage_Known(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    processMessages(state, u"Sender <" + handset::fromUtf8(numberOf(size / 2)) + u">");
}

void BM_SmsProcessMessage_Unknown(benchmark::State& state)
{
    processMessages(state, u"+44 20 7946 0018");
}

void sizes(benchmark::internal::Benchmark* b)
{
    for (int size : kSizes)
        b->Arg(size);
}
BENCHMARK(BM_SmsProcessMessage_Known)->Apply(sizes);
BENCHMARK(BM_SmsProcessMessage_Unknown)->Apply(sizes);

const std::vector<bench::Comparison> kComparisons = [] {
    std::vector<bench::Comparison> rows;
    for (const char* kind : {"Known", "Unknown"}) {
        for (int size : kSizes) {
            const std::string n = std::to_string(size);
            rows.emplace_back(std::string("BM_SmsProcessMessage_") + kind + "/" + n,
                              std::string("BM_ApplyRingSettings_") + kind + "/" + n,
                              size == 10000 ? "under 2 ms at 10,000 contacts" : "next to the call's ring decision");
        }
    }
    return rows;
}();

}  // namespace
