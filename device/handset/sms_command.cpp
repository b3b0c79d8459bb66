// handset sms: a text message arriving on the device, as the network would
// deliver it. The messaging host files it, shows it to its rule clients and
// raises the new-message notification, which the command prints.
//
//   handset sms --from ADDRESS [--text TEXT]
#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

bool writeAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int deliver(const SmsArguments& arguments)
{
    if (arguments.from.size() > inbox::kMaxFieldBytes || arguments.text.size() > inbox::kMaxFieldBytes)
        return usage("the address and the text may have at most " + std::to_string(inbox::kMaxFieldBytes) +
                     " bytes each");
    if (!lifecycle::isRunning())
        return fail(lifecycle::kNotRunningMessage);

    const std::string path = inbox::socketPath().string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return fail("the device's path is too long for the messaging host's socket");
    std::strcpy(address.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return fail(kNoHost);
    }
    const std::string request = "deliver " + std::to_string(arguments.from.size()) + " " +
                                std::to_string(arguments.text.size()) + "\n" + arguments.from + arguments.text;
    if (!writeAll(fd, request)) {
        ::close(fd);
        return fail(kNoHost);
    }
    // The host answers once every rule client has had the message.
    std::string reply;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        reply.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    const std::size_t end = reply.find('\n');
    const std::string status = reply.substr(0, end);
    if (status.rfind("error ", 0) == 0)
        return fail(status.substr(6));
    if (status != "ok" || end == std::string::npos)
        return fail("the messaging host gave no answer; see `handset log`");
    std::cout << reply.substr(end + 1);
    return 0;
}

}  // namespace

void addSmsCommand(CLI::App& app)
{
    CLI::App* command = app.add_subcommand(
        "sms", "Deliver a text message to the device. The messaging host files it, hands it to every enrolled rule "
               "client and raises the new-message notification; once that is done, print the notification: "
               "sound=on|off, wave=PATH (the sound it plays), vibrate=on|off, display=on|off, one per line.");
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
