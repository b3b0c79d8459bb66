// handset sms: a text message arriving on the device, as the network would
// deliver it. The messaging host files it, shows it to its rule clients and
// raises the new-message notification, which the command prints.
//
//   handset sms --from ADDRESS [--text TEXT]
#include <iostream>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include <handset/lifecycle.h>

#include "commands.h"
#include "../inbox/inbox_protocol.h"

namespace handset::cli {

namespace {

constexpr char kNoHost[] = "the messaging host is not running; see `handset status` and `handset log`";

struct SmsArguments {
    std::string from;
    std::string text;
};

int deliver(const SmsArguments& arguments)
{
    if (arguments.from.size() > inbox::kMaxFieldBytes || arguments.text.size() > inbox::kMaxFieldBytes)
        return usage("the address and the text may have at most " + std::to_string(inbox::kMaxFieldBytes) +
                     " bytes each");
    if (!lifecycle::isRunning())
        return fail(lifecycle::kNotRunningMessage);

    // The host answers once every rule client has had the message.
    const std::string request = "deliver " + std::to_string(arguments.from.size()) + " " +
                                std::to_string(arguments.text.size()) + "\n" + arguments.from + arguments.text;
    const std::uintmax_t logStart = logEnd();
    const int status = askDeviceProgram(inbox::socketPath(), request, "the messaging host", kNoHost);
    if (status != 0)
        return status;
    // The reasons the rule clients logged for this message.
    for (const std::string& why : loggedSince(logStart, "why"))
        if (why.rfind("sms from ", 0) == 0)
            std::cout << "why=" << why << '\n';
    return 0;
}

}  // namespace

void addSmsCommand(CLI::App& app)
{
    CLI::App* command = app.add_subcommand(
        "sms", "Deliver a text message to the device. The messaging host files it, hands it to every enrolled rule "
               "client and raises the new-message notification; once that is done, print the notification: "
               "sound=on|off, wave=PATH (the sound it plays), vibrate=on|off, display=on|off, one per line, then the "
               "reason the SMS tone service logged for its choice (why=).");
    auto arguments = std::make_shared<SmsArguments>();
    command->add_option("--from", arguments->from, "the sender's address as the network gives it, e.g. "
                                                   "'Anna <+4915112345678>' or +4915112345678")
        ->type_name("ADDRESS")
        ->required();
    command->add_option("--text", arguments->text, "the message's text (default: empty)")->type_name("TEXT");
    command->footer("The device must be running (`handset boot`). Rule clients trace on the log's `debug` channel; "
                    "the notification is logged on `notify`.");
    onRun(command, NeedsDevice::Yes, [arguments] { return deliver(*arguments); });
}

}  // namespace handset::cli
