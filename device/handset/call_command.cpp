// handset call: an incoming call on the device's cellular line, as the
// network would send it. Prints what the phone rang with.
//
//   handset call NUMBER | --no-caller-id   [--caller-id-first | --reports LIST]
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <handset/lifecycle.h>
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

int call(const CallArguments& arguments, bool numberGiven, bool reportsGiven)
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
    if (!lifecycle::isRunning())
        return fail(lifecycle::kNotRunningMessage);
    const std::uintmax_t logStart = logEnd();
    const radio::OfferResult result = radio::offerCall(incoming);
    if (!result.ok())
        return fail("the radio did not take the call (error " + hex(result.status) + "); see `handset log`");
    std::cout << "sound=" << toUtf8(result.ring.sound) << '\n'
              << "script=" << toUtf8(result.ring.script) << '\n'
              << "volume=" << (result.ring.volume ? std::to_string(*result.ring.volume) : std::string()) << '\n';
    // The reasons the call ring service logged while the call rang: one per
    // time it applied settings (a media-mode report before the caller ID
    // gives a first one without caller ID). The radio offers one call at a
    // time, so every call reason logged meanwhile is this call's.
    for (const std::string& why : loggedSince(logStart, "why"))
        if (why.rfind("call from ", 0) == 0)
            std::cout << "why=" << why << '\n';
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
    onRun(command, NeedsDevice::Yes, [arguments, number, reports] {
        return call(*arguments, number->count() > 0, reports->count() > 0);
    });
}

}  // namespace handset::cli
