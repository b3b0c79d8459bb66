// The telephony path of a call: from the radio sending the caller ID to the
// ring being ready (the event over the socket, the line library's callback
// thread, the call monitor fetching the caller ID, the ring decision, the
// callback's return reaching the radio, the radio reading the ring
// settings), next to the ring decision alone, at 10,000 contacts.
#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/pimstore.h>
#include <handset/radio.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "call_monitor.h"
#include "contacts_app.h"
#include "report.h"
#include "ring_settings.h"
#include "test_device.h"

extern char** environ;

namespace {

constexpr int kContacts = 10000;

std::string numberOf(int i)
{
    char text[32];
    std::snprintf(text, sizeof text, "+49 160 %07d", 2000000 + i * 3);
    return text;
}

// One phone for the run: 10,000 contacts, a radio in this process and the
// call monitor watching its cellular line. Torn down at exit, before the
// platform's own state.
struct Phone {
    Phone()
    {
        settings::resetProfiles();
        for (const char16_t* path : {u"ControlPanel\\Sounds\\RingTone0", u"ControlPanel\\Sounds\\PlmORingTone1",
                                     u"ControlPanel\\Sounds\\PlmORingTone2", u"ControlPanel\\SoundCategories\\Ring"}) {
            HKEY key = nullptr;
            RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, 0, nullptr, &key, nullptr);
            RegCloseKey(key);
        }
        std::string cards;
        for (int i = 0; i < kContacts; ++i) {
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Caller" + std::to_string(i) + ";Bench;;;\r\nTEL;TYPE=CELL:" +
                     numberOf(i) + "\r\nEND:VCARD\r\n";
        }
        (void)handset::contacts::importVCards(cards);
        app = bench::logOnContacts();
        auto started = handset::radio::Server::start(handset::radio::socketPath(), {{u"Cellular Line"}});
        radio = std::move(started.server);
        tolvane::setCallMonitorContacts(app);
        monitoring = radio && tolvane::startCallMonitor(nullptr) == 0;
    }
    ~Phone()
    {
        tolvane::stopCallMonitor();
        tolvane::setCallMonitorContacts(nullptr);
        radio.reset();
        bench::logOffContacts(app);
    }

    handset::testing::TempDevice device;
    IPOutlookApp* app = nullptr;
    std::unique_ptr<handset::radio::Server> radio;
    bool monitoring = false;
    const std::u16string caller = handset::fromUtf8(numberOf(kContacts / 2));
};

Phone& phone()
{
    static Phone shared;
    handset::setDeviceRoot(shared.device.root());
    return shared;
}

void p99(benchmark::State& state, std::vector<double>& samples)
{
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    state.counters["p99_us"] = samples[samples.size() * 99 / 100];
}

void BM_Call_ApplyRingSettingsAlone(benchmark::State& state)
{
    Phone& p = phone();
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        tolvane::applyRingSettings(p.app, p.caller.c_str());
        samples.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    p99(state, samples);
}
BENCHMARK(BM_Call_ApplyRingSettingsAlone);

// Each iteration is a whole call as a phone's radio reports it (media mode,
// then caller ID); only the stretch from the caller ID to the ring counts.
void measureCalls(benchmark::State& state, Phone& p)
{
    const auto call = handset::radio::IncomingCall::standard(p.caller);
    std::vector<double> samples;
    for (auto _ : state) {
        const auto result = p.radio->offerCall(p.radio->cellularLine(), call);
        if (!result.ok() || result.linesReached != 1 || result.linesLate != 0) {
            state.SkipWithError("the call did not reach the monitor in time");
            break;
        }
        const double seconds = std::chrono::duration<double>(result.callerIdToRing).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1e6);
    }
    p99(state, samples);
}

void BM_Call_CallerIdToRing(benchmark::State& state)
{
    Phone& p = phone();
    if (!p.monitoring) {
        state.SkipWithError("the call monitor is not watching");
        return;
    }
    measureCalls(state, p);
}
BENCHMARK(BM_Call_CallerIdToRing)->UseManualTime();

// Two processes writing whole profiles flat out on the phone's registry for
// as long as they live: this very program, started as a writer.
class FlatOutWriters {
public:
    explicit FlatOutWriters(const std::filesystem::path& device)
    {
        for (pid_t& pid : pids_) {
            std::string self = "/proc/self/exe", flag = bench::kFlatOutWriterFlag, root = device.string();
            char* argv[] = {self.data(), flag.data(), root.data(), nullptr};
            if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0)
                pid = -1;
        }
    }
    ~FlatOutWriters()
    {
        // A writer killed at any moment loses nothing and holds no lock.
        for (pid_t pid : pids_) {
            if (pid > 0) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }
    bool running() const { return pids_[0] > 0 && pids_[1] > 0; }

private:
    pid_t pids_[2] = {-1, -1};
};

// The same call while two other processes write to the registry as fast as
// they can: the call's own registry writes queue behind theirs.
void BM_Call_CallerIdToRingUnderTwoWriters(benchmark::State& state)
{
    Phone& p = phone();
    if (!p.monitoring) {
        state.SkipWithError("the call monitor is not watching");
        return;
    }
    const FlatOutWriters writers(p.device.root());
    if (!writers.running()) {
        state.SkipWithError("the writers did not start");
        return;
    }
    measureCalls(state, p);
}
BENCHMARK(BM_Call_CallerIdToRingUnderTwoWriters)->UseManualTime();

const bench::Comparison kComparisons[] = {
    {"BM_Call_ApplyRingSettingsAlone", "", "the ring decision alone, 10,000 contacts"},
    {"BM_Call_CallerIdToRing/manual_time", "BM_Call_ApplyRingSettingsAlone",
     "under 2 ms in all at 10,000 contacts; the ratio is the telephony path's overhead"},
    {"BM_Call_CallerIdToRingUnderTwoWriters/manual_time", "BM_Call_CallerIdToRing/manual_time",
     "p99 under 50 ms with two writers flat out; the ratio is what they cost a call"},
};

}  // namespace

namespace bench {

int writeFlatOut(const char* device)
{
    handset::setDeviceRoot(device);
    for (std::int32_t round = 0;; ++round) {
        settings::ProfileRecord record = settings::defaultProfile(round % settings::kProfileCount);
        record.callVolume = round;
        (void)settings::writeProfile(record);
    }
}

}  // namespace bench

namespace {

}  // namespace
