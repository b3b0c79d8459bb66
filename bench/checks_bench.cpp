// What explaining a decision costs, and how long the tone check takes.
//
// The call decision for a contact of 10,000 with the reasons collected and
// put into the device log's words (as the ring service does for every
// call), next to the same decision without them. Then "Check Tones" over
// 10,000 contacts, a tenth of them with their own ring and SMS tones: some
// files present, one missing and one the player cannot open, each path
// checked once per run as the dialog does.
#include <filesystem>
#include <fstream>
#include <string>

#include <benchmark/benchmark.h>

#include <checks/tone_check.h>
#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/pimstore.h>
#include <handset/wstring.h>
#include <settings/caller.h>
#include <settings/explain.h>

#include "contacts_app.h"
#include "report.h"
#include "test_device.h"
#include "test_media.h"

namespace {

namespace fs = std::filesystem;

constexpr int kContacts = 10000;
constexpr int kWithTonesEvery = 10;

std::string numberOf(int i)
{
    return "+49 170 " + std::to_string(3000000 + i * 7);
}

const std::u16string kTones[] = {
    u"\\My Documents\\My Ringtones\\One.wav",
    u"\\My Documents\\My Ringtones\\Two.wav",
    u"\\My Documents\\My Ringtones\\Gone.wav",     // never copied
    u"\\My Documents\\My Ringtones\\NoSound.wav",  // not a sound
};

struct Phone {
    Phone()
    {
        handset::setDeviceRoot(device.root());
        settings::resetProfiles();
        const fs::path tones = device.root() / "fs" / "My Documents" / "My Ringtones";
        fs::create_directories(tones);
        wmp_test::writeToneWav(tones / "One.wav", 1.0);
        wmp_test::writeToneWav(tones / "Two.wav", 1.0);
        std::ofstream(tones / "NoSound.wav") << "not a sound";
        settings::writeClassRingTone(settings::UnknownCaller, kTones[0]);

        std::string cards;
        for (int i = 0; i < kContacts; ++i)
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Caller" + std::to_string(i) + ";Bench;;;\r\nTEL;TYPE=CELL:" +
                     numberOf(i) + "\r\nEND:VCARD\r\n";
        const handset::contacts::VCardImportResult imported = handset::contacts::importVCards(cards);
        for (std::size_t i = 0; i < imported.added.size(); i += kWithTonesEvery) {
            handset::contacts::ContactChanges tones;
            tones.ringTone = kTones[i % 4];
            tones.smsTone = kTones[(i + 1) % 4];
            (void)handset::contacts::setContact(imported.added[i], tones);
        }

        app = bench::logOnContacts<IPOutlookApp2>(IID_IPOutlookApp2);
    }
    ~Phone()
    {
        bench::logOffContacts(app);
    }

    handset::testing::TempDevice device;
    IPOutlookApp2* app = nullptr;
    // A contact with tones of its own (its index is a multiple of ten).
    const std::u16string caller = handset::fromUtf8(numberOf(kContacts / 2));
};

Phone& phone()
{
    static Phone shared;
    handset::setDeviceRoot(shared.device.root());
    return shared;
}

void BM_Checks_CallDecisionAlone(benchmark::State& state)
{
    Phone& p = phone();
    for (auto _ : state)
        benchmark::DoNotOptimize(settings::resolveCallRing(p.app, p.caller.c_str()));
}
BENCHMARK(BM_Checks_CallDecisionAlone);

// The reasons and the line's words, as the ring service logs them; the
// file check of the tone is measured apart, below.
void BM_Checks_CallDecisionExplained(benchmark::State& state)
{
    Phone& p = phone();
    for (auto _ : state) {
        settings::Explanation why;
        const settings::RingDecision decision = settings::resolveCallRing(p.app, p.caller.c_str(), &why);
        benchmark::DoNotOptimize(settings::describe("call", p.caller, decision.tone, false, why));
    }
}
BENCHMARK(BM_Checks_CallDecisionExplained);

// All that the ring service adds for its "why" line: also whether the
// tone's file is on the device.
void BM_Checks_CallDecisionExplainedWithFileCheck(benchmark::State& state)
{
    Phone& p = phone();
    for (auto _ : state) {
        settings::Explanation why;
        const settings::RingDecision decision = settings::resolveCallRing(p.app, p.caller.c_str(), &why);
        benchmark::DoNotOptimize(
            settings::describe("call", p.caller, decision.tone, settings::toneFileMissing(decision.tone), why));
    }
}
BENCHMARK(BM_Checks_CallDecisionExplainedWithFileCheck);

void BM_Checks_ToneCheck(benchmark::State& state)
{
    Phone& p = phone();
    std::size_t problems = 0;
    for (auto _ : state) {
        tonquil::TonePlayability playability;
        problems = tonquil::checkTones(p.app, playability).size();
    }
    state.counters["problems"] = static_cast<double>(problems);
}
BENCHMARK(BM_Checks_ToneCheck)->Iterations(3)->Unit(benchmark::kMillisecond);

const bench::Comparison kComparisons[] = {
    {"BM_Checks_CallDecisionAlone", "", "the call decision alone, 10,000 contacts"},
    {"BM_Checks_CallDecisionExplained", "BM_Checks_CallDecisionAlone",
     "within 1.2x: the reasons and the log line's words on top of the decision"},
    {"BM_Checks_CallDecisionExplainedWithFileCheck", "BM_Checks_CallDecisionAlone",
     "the whole why line, with the look for the tone's file on the device"},
    {"BM_Checks_ToneCheck/iterations:3", "", "under 1 s for every assignment of 10,000 contacts"},
};

}  // namespace
