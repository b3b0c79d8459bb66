// handset call: an incoming call on the device's cellular line, as the
// network would send it. Prints what the phone rang with.
//
//   handset call NUMBER | --no-caller-id   [--caller-id-first]
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

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
};

std::string hex(LONG code)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

int call(const CallArguments& arguments, bool numberGiven)
{
    if (numberGiven == arguments.noCallerId)
        return usage(numberGiven ? "give either NUMBER or --no-caller-id, not both"
                                 : "give the caller's NUMBER, or --no-caller-id");
    if (numberGiven && arguments.number.empty())
        return usage("the NUMBER is empty; use --no-caller-id for a call without caller ID");
    if (!lifecycle::isRunning())
        return fail(lifecycle::kNotRunningMessage);

    std::optional<std::u16string> callerId;
    if (numberGiven)
        callerId = fromUtf8(arguments.number);
    if (callerId && callerId->size() > radio::kMaxCallerIdLength)
        return usage("the NUMBER is longer than " + std::to_string(radio::kMaxCallerIdLength) + " characters");
    const radio::OfferResult result = radio::offerCall(radio::IncomingCall::standard(
        callerId, arguments.callerIdFirst ? radio::CallerIdOrder::CallerIdFirst : radio::CallerIdOrder::MediaModeFirst));
    if (!result.ok())
        return fail("the radio did not take the call (error " + hex(result.status) + "); see `handset log`");
    std::cout << "sound=" << toUtf8(result.ring.sound) << '\n'
              << "script=" << toUtf8(result.ring.script) << '\n'
              << "volume=" << (result.ring.volume ? std::to_string(*result.ring.volume) : std::string()) << '\n';
    return 0;
}

}  // namespace

void addCallCommand(CLI::App& app)
{
    CLI::App* command = app.add_subcommand(
        "call", "Offer an incoming call on the cellular line; once the phone has rung, print its ring tone, ring "
                "script and ring volume (sound=, script=, volume=).");
    auto arguments = std::make_shared<CallArguments>();
    CLI::Option* number = command->add_option("NUMBER", arguments->number, "the caller ID the network sends");
    command->add_flag("--no-caller-id", arguments->noCallerId, "the network sends no caller ID");
    command->add_flag("--caller-id-first", arguments->callerIdFirst,
                      "report the caller ID before the media mode (a phone's radio reports the media mode first)");
    onRun(command, NeedsDevice::Yes, [arguments, number] { return call(*arguments, number->count() > 0); });
}

}  // namespace handset::cli
