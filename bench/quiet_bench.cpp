// The ring decision under a silent profile with a 1,000-entry call log and
// repeated calls on, next to the same decision with repeated calls off. The
// caller tried a minute ago; the rest of the log is older than the window,
// so the rule's walk stops at the window's edge. Then the same with the
// phone's own call log, filled by 1,000 calls the radio offered (it keeps the
// newest 500): the older ones two hours before the decision, the caller's a
// minute before it, as a night's log looks; the phone's log functions with
// it, from opening the log to the window's edge.
#include <handset/clock.h>
#include <handset/com.h>
#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/pimstore.h>
#include <handset/radio.h>
#include <settings/caller.h>
#include <settings/quiet_hours.h>

#include <benchmark/benchmark.h>

#include <vector>

#include "contacts_app.h"
#include "report.h"
#include "test_device.h"

namespace {

constexpr int kLogEntries = 1000;
constexpr char16_t kCaller[] = u"+49 151 7654321";

// The log as the phone's call log functions hand it over, newest first, in
// memory: the rule's own cost, whatever the store behind it costs.
class MemoryCallLog : public settings::CallLog {
public:
    std::vector<settings::RecentCall> calls;

    bool visitNewestFirst(const std::function<bool(const settings::RecentCall&)>& visit) const override
    {
        for (const settings::RecentCall& call : calls)
            if (!visit(call))
                break;
        return true;
    }
};

struct QuietPhone {
    QuietPhone()
    {
        settings::resetProfiles();
        settings::writeCurrentProfile(2);  // Silent
        handset::contacts::ContactChanges fields;
        fields.lastName = u"Caller";
        fields.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, kCaller}};
        (void)handset::contacts::addContact(fields, nullptr);
        app = bench::logOnContacts();
        SYSTEMTIME now{};
        GetLocalTime(&now);
        const std::uint64_t ticks = settings::fileTimeTicks(now);
        log.calls.push_back({kCaller, ticks - settings::kTicksPerMinute, false});
        for (int i = 1; i < kLogEntries; ++i)
            log.calls.push_back({u"+49 160 1234567", ticks - (30 + std::uint64_t(i)) * settings::kTicksPerMinute,
                                 i % 3 == 0});
    }
    ~QuietPhone()
    {
        bench::logOffContacts(app);
    }

    // The phone's log, filled once by calls the radio offers and nobody answers.
    bool fillPhoneLog()
    {
        if (phoneLogFilled)
            return true;
        auto started = handset::radio::Server::start(handset::radio::socketPath(), {{u"Cellular Line"}});
        if (!started.server)
            return false;
        // The device clock places the calls: the night's calls at 10:00, the
        // caller's at 11:59, the decisions from 12:00 on.
        for (int i = 0; i < kLogEntries; ++i) {
            const bool caller = i + 1 == kLogEntries;
            if (i == 0 || caller)
                (void)handset::setClockTimeOfDay(caller ? 11 : 10, caller ? 59 : 0);
            const std::u16string number =
                caller ? kCaller : u"+49 160 12345" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
            if (!started.server->offerCall(started.server->cellularLine(), handset::radio::IncomingCall::standard(number)).ok())
                return false;
        }
        phoneLogFilled = handset::setClockTimeOfDay(12, 0);
        return phoneLogFilled;
    }

    handset::testing::TempDevice device;
    IPOutlookApp* app = nullptr;
    MemoryCallLog log;
    bool phoneLogFilled = false;
};

QuietPhone& quietPhone()
{
    static QuietPhone shared;
    handset::setDeviceRoot(shared.device.root());
    return shared;
}

void decide(benchmark::State& state, bool repeatedCallsOn, bool phoneLog = false)
{
    QuietPhone& p = quietPhone();
    if (phoneLog && !p.fillPhoneLog()) {
        state.SkipWithError("the radio could not fill the call log");
        return;
    }
    const settings::CallLog& log = phoneLog ? settings::phoneCallLog() : p.log;
    (void)settings::writeRepeatedCallSettings({repeatedCallsOn, 3, 0, false});
    const std::int32_t expected = repeatedCallsOn ? 3 : 0;  // Normal's volume, or Silent's
    for (auto _ : state) {
        const settings::RingDecision decision = settings::resolveCallRing(p.app, kCaller, nullptr, &log);
        if (decision.profile.callVolume != expected) {
            state.SkipWithError("the decision is not the one the rule gives");
            break;
        }
        benchmark::DoNotOptimize(decision);
    }
}

void BM_RepeatedCalls_DecisionOff(benchmark::State& state)
{
    decide(state, false);
}
BENCHMARK(BM_RepeatedCalls_DecisionOff);

void BM_RepeatedCalls_DecisionOn(benchmark::State& state)
{
    decide(state, true);
}
BENCHMARK(BM_RepeatedCalls_DecisionOn);

void BM_RepeatedCalls_DecisionOffPhoneLog(benchmark::State& state)
{
    decide(state, false, true);
}
BENCHMARK(BM_RepeatedCalls_DecisionOffPhoneLog);

void BM_RepeatedCalls_DecisionOnPhoneLog(benchmark::State& state)
{
    decide(state, true, true);
}
BENCHMARK(BM_RepeatedCalls_DecisionOnPhoneLog);

const bench::Comparison kComparisons[] = {
    {"BM_RepeatedCalls_DecisionOff", "", "the ring decision under Silent, repeated calls off"},
    {"BM_RepeatedCalls_DecisionOn", "BM_RepeatedCalls_DecisionOff",
     "within 1.3x with a 1,000-entry call log and repeated calls on"},
    {"BM_RepeatedCalls_DecisionOnPhoneLog", "BM_RepeatedCalls_DecisionOffPhoneLog",
     "the same through the phone's call log functions, 500 entries kept, the caller's within the window"},
};

}  // namespace
