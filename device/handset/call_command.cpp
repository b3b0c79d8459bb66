// handset call: an incoming call on the device's cellular line, as the
// network would send it. Prints what the phone rang with and, when the call
// rings for a while, how it ended. handset answer, reject and hangup do
// what the phone's user does with it; handset calls lists the call log.
//
//   handset call NUMBER | --no-caller-id   [--caller-id-first | --reports LIST]
//                [--ring-for SECONDS] [--talk-for SECONDS]
//   handset answer | reject | hangup
//   handset calls [--limit N]
#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <handset/lifecycle.h>
#include <handset/phone.h>
#include <handset/radio.h>
#include <handset/wstring.h>

#include "commands.h"

namespace handset::cli {

namespace {

struct CallArguments {
    std::string number;
    bool noCallerId = false;
    bool callerIdFirst = false;
    std::string reports;
    double ringFor = 0;
    double talkFor = 0;
};

// The call-information changes a report can carry, by the name --reports
// gives them.
constexpr struct {
    const char* name;
    DWORD state;
} kCallInfoStates[] = {
    {"callerid", LINECALLINFOSTATE_CALLERID},     {"mediamode", LINECALLINFOSTATE_MEDIAMODE},
    {"other", LINECALLINFOSTATE_OTHER},           {"bearermode", LINECALLINFOSTATE_BEARERMODE},
    {"rate", LINECALLINFOSTATE_RATE},             {"callid", LINECALLINFOSTATE_CALLID},
    {"origin", LINECALLINFOSTATE_ORIGIN},         {"nummonitors", LINECALLINFOSTATE_NUMMONITORS},
    {"calledid", LINECALLINFOSTATE_CALLEDID},
};

// The parts of `text` between `separator`s, empty ones included.
std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator)
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// "callerid,other,mediamode": one LINE_CALLINFO report per item, in order;
// "callerid+rate" is one report of both changes. An error message when a
// name is unknown or missing, or the list is too long.
std::string parseReports(const std::string& list, std::vector<radio::CallReport>& reports)
{
    for (const std::string& item : split(list, ',')) {
        DWORD mask = 0;
        for (const std::string& name : split(item, '+')) {
            DWORD state = 0;
            for (const auto& known : kCallInfoStates)
                if (name == known.name)
                    state = known.state;
            if (state == 0) {
                std::string all;
                for (const auto& known : kCallInfoStates)
                    all += (all.empty() ? "" : ", ") + std::string(known.name);
                return "--reports: \"" + name + "\" is not a report; give a list of " + all +
                       ", such as callerid,other,mediamode";
            }
            mask |= state;
        }
        reports.push_back({LINE_CALLINFO, mask});
    }
    if (reports.size() > radio::kMaxCallReports)
        return "--reports takes at most " + std::to_string(radio::kMaxCallReports) + " reports";
    return {};
}

std::string hex(LONG code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::chrono::milliseconds milliseconds(double seconds)
{
    return std::chrono::milliseconds(static_cast<std::int64_t>(std::llround(seconds * 1000)));
}

int call(const CallArguments& arguments, bool numberGiven, bool reportsGiven, bool ringForGiven, bool talkForGiven)
{
    if (numberGiven == arguments.noCallerId)
        return usage(numberGiven ? "give either NUMBER or --no-caller-id, not both"
                                 : "give the caller's NUMBER, or --no-caller-id");
    if (numberGiven && arguments.number.empty())
        return usage("the NUMBER is empty; use --no-caller-id for a call without caller ID");
    std::optional<std::u16string> callerId;
    if (numberGiven)
        callerId = fromUtf8(arguments.number);
    if (callerId && callerId->size() > radio::kMaxCallerIdLength)
        return usage("the NUMBER is longer than " + std::to_string(radio::kMaxCallerIdLength) + " characters");
    radio::IncomingCall incoming = radio::IncomingCall::standard(
        callerId, arguments.callerIdFirst ? radio::CallerIdOrder::CallerIdFirst : radio::CallerIdOrder::MediaModeFirst);
    if (reportsGiven) {
        incoming.reports.clear();
        if (const std::string error = parseReports(arguments.reports, incoming.reports); !error.empty())
            return usage(error);
    }
    const double longest = std::chrono::duration<double>(radio::kMaxCallTime).count();
    for (const auto& [name, seconds] : {std::pair{"--ring-for", arguments.ringFor}, {"--talk-for", arguments.talkFor}})
        if (!(seconds >= 0 && seconds <= longest))
            return usage(std::string(name) + " takes seconds from 0 to " + std::to_string(static_cast<long>(longest)));
    incoming.ringFor = milliseconds(arguments.ringFor);
    if (talkForGiven)
        incoming.talkFor = milliseconds(arguments.talkFor);
    if (!lifecycle::isRunning())
        return fail(lifecycle::kNotRunningMessage);
    const std::uintmax_t logStart = logEnd();
    // What the phone rang with is printed as soon as it rings, so that a
    // script can answer the call it sees ringing.
    const auto printRing = [logStart](const radio::OfferResult& rang) {
        std::cout << "sound=" << toUtf8(rang.ring.sound) << '\n'
                  << "script=" << toUtf8(rang.ring.script) << '\n'
                  << "volume=" << (rang.ring.volume ? std::to_string(*rang.ring.volume) : std::string()) << '\n';
        // The reasons the call ring service logged before the phone rang:
        // one per time it applied settings (a media-mode report before the
        // caller ID gives a first one without caller ID). The radio offers
        // one call at a time, so every call reason logged meanwhile is this
        // call's.
        for (const std::string& why : loggedSince(logStart, "why"))
            if (why.rfind("call from ", 0) == 0)
                std::cout << "why=" << why << '\n';
        std::cout.flush();
    };
    bool printed = false;
    const radio::OfferResult result = radio::offerCall(incoming, std::chrono::seconds(30), [&](const radio::OfferResult& rang) {
        printRing(rang);
        printed = true;
    });
    if (!result.ok())
        return fail("the radio did not take the call (error " + hex(result.status) + "); see `handset log`");
    if (result.outcome != radio::CallOutcome::Busy && !printed)
        printRing(result);
    // A call that was given a life of its own says how it ended; one left
    // to ring for no time is missed by definition.
    if (ringForGiven || talkForGiven || result.outcome == radio::CallOutcome::Busy) {
        char rang[32];
        std::snprintf(rang, sizeof rang, "%.1f", std::chrono::duration<double>(result.rang).count());
        std::cout << "outcome=" << radio::outcomeName(result.outcome) << '\n' << "rang=" << rang << '\n';
    }
    return 0;
}

// What the phone's user does with the call in progress.
int act(LONG (*action)(), const char* done, const char* state)
{
    if (!lifecycle::isRunning())
        return fail(lifecycle::kNotRunningMessage);
    const LONG status = action();
    if (status == LINEERR_INVALCALLSTATE)
        return fail(std::string("there is no ") + state + " call");
    if (status != 0)
        return fail("the radio did not answer (error " + hex(status) + "); see `handset log`");
    std::cout << done << '\n';
    return 0;
}

std::string localTime(const FILETIME& time)
{
    const auto value = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    constexpr std::uint64_t kUnixEpochIn1601 = 116444736000000000ULL;
    const std::time_t seconds =
        value < kUnixEpochIn1601 ? 0 : static_cast<std::time_t>((value - kUnixEpochIn1601) / 10'000'000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);  // the log's times are local already
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

std::int64_t secondsBetween(const FILETIME& start, const FILETIME& end)
{
    const auto from = static_cast<std::int64_t>((std::uint64_t{start.dwHighDateTime} << 32) | start.dwLowDateTime);
    const auto to = static_cast<std::int64_t>((std::uint64_t{end.dwHighDateTime} << 32) | end.dwLowDateTime);
    return to > from ? (to - from + 5'000'000) / 10'000'000 : 0;
}

int listCalls(int limit)
{
    if (limit < 0)
        return usage("--limit takes a number of calls, 0 for all");
    HANDLE log = nullptr;
    if (PhoneOpenCallLog(&log) != S_OK)
        return fail("cannot read the call log; see `handset log`");
    CALLLOGENTRY entry{};
    entry.cbSize = sizeof entry;
    for (int shown = 0; (limit == 0 || shown < limit) && PhoneGetCallLogEntry(log, &entry) == S_OK; ++shown) {
        const char* outcome = entry.fOutgoing ? "outgoing" : entry.fConnected ? "answered"
                                                         : entry.iom == IOM_MISSED ? "missed"
                                                                                    : "rejected";
        std::cout << localTime(entry.ftStartTime) << "  " << outcome << "  " << (entry.fOutgoing ? "out" : "in")
                  << "  " << secondsBetween(entry.ftStartTime, entry.ftEndTime) << "s  "
                  << (entry.pszNumber ? toUtf8(entry.pszNumber) : std::string("(no caller ID)"));
        if (entry.pszName)
            std::cout << "  " << toUtf8(entry.pszName);
        std::cout << '\n';
        LocalFree(entry.pszNumber);
        LocalFree(entry.pszName);
        LocalFree(entry.pszNameType);
    }
    PhoneCloseCallLog(log);
    return 0;
}

}  // namespace

void addCallCommand(CLI::App& app)
{
    CLI::App* command = app.add_subcommand(
        "call", "Offer an incoming call on the cellular line; once the phone has rung, print its ring tone, ring "
                "script and ring volume (sound=, script=, volume=), then each reason the phone logged for them "
                "(why=, one per time the settings were applied).");
    auto arguments = std::make_shared<CallArguments>();
    CLI::Option* number = command->add_option("NUMBER", arguments->number, "the caller ID the network sends");
    command->add_flag("--no-caller-id", arguments->noCallerId, "the network sends no caller ID");
    CLI::Option* first =
        command->add_flag("--caller-id-first", arguments->callerIdFirst,
                          "report the caller ID before the media mode (a phone's radio reports the media mode first)");
    CLI::Option* reports = command
        ->add_option("--reports", arguments->reports,
                     "the call-information reports in their order, e.g. callerid,other,mediamode (names: callerid, "
                     "mediamode, other, bearermode, rate, callid, origin, nummonitors, calledid; a+b is one report "
                     "of both)")
        ->type_name("LIST")
        ->excludes(first);
    CLI::Option* ringFor =
        command->add_option("--ring-for", arguments->ringFor,
                            "let the phone ring this long before the caller gives up (default 0: missed as soon as it "
                            "rings); meanwhile `handset answer` or `handset reject` end the ringing. With this option "
                            "(or --talk-for) the command also prints outcome=missed|answered|rejected|busy and rang= "
                            "(seconds) when the call ends; a call that comes while another rings or is connected is "
                            "refused busy")
            ->type_name("SECONDS");
    CLI::Option* talkFor =
        command->add_option("--talk-for", arguments->talkFor,
                            "once answered, hang up after this long (default: the call lasts until `handset hangup`)")
            ->type_name("SECONDS");
    onRun(command, NeedsDevice::Yes, [arguments, number, reports, ringFor, talkFor] {
        return call(*arguments, number->count() > 0, reports->count() > 0, ringFor->count() > 0, talkFor->count() > 0);
    });

    onRun(app.add_subcommand("answer", "Answer the ringing call, as its call screen's \"Answer\" does."),
          NeedsDevice::Yes, [] { return act(radio::answerCall, "answered", "ringing"); });
    onRun(app.add_subcommand("reject", "Reject the ringing call, as its call screen's \"Ignore\" does."),
          NeedsDevice::Yes, [] { return act(radio::rejectCall, "rejected", "ringing"); });
    onRun(app.add_subcommand("hangup", "Hang up the connected call."), NeedsDevice::Yes,
          [] { return act(radio::hangUpCall, "hung up", "connected"); });

    CLI::App* calls = app.add_subcommand(
        "calls", "List the phone's call log, newest first: start (device time), outcome, direction, length, number "
                 "and the contact's name when the call came. The log keeps the newest 500 calls.");
    auto limit = std::make_shared<int>(0);
    calls->add_option("--limit", *limit, "list at most this many calls (default 0: all)")->type_name("N");
    onRun(calls, NeedsDevice::Yes, [limit] { return listCalls(*limit); });
}

}  // namespace handset::cli
