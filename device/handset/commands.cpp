#include "commands.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
#include <optional>
#include <string>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <handset/factory.h>
#include <handset/log.h>

namespace handset::cli {

namespace {

struct ChosenCommand {
    NeedsDevice needsDevice;
    std::function<int()> action;
};

// The one command of this run; CLI11 calls the command's callback during
// parsing, before the device is known, so the work is only noted there.
std::optional<ChosenCommand>& chosen()
{
    static std::optional<ChosenCommand> command;
    return command;
}

}  // namespace

void onRun(CLI::App* command, NeedsDevice needsDevice, std::function<int()> action)
{
    command->callback([needsDevice, action = std::move(action)] { chosen() = ChosenCommand{needsDevice, action}; });
}

int runChosenCommand(const std::filesystem::path& root)
{
    if (!chosen())
        return fail("no command given; see handset --help");
    if (chosen()->needsDevice == NeedsDevice::Yes && !isDevice(root))
        return fail("no device at " + root.string() + "; run `handset init`");
    try {
        return chosen()->action();
    } catch (const std::exception& error) {
        return fail(error.what());
    }
}

int fail(std::string_view message)
{
    std::cerr << "handset: " << message << '\n';
    return 1;
}

int usage(std::string_view message)
{
    std::cerr << "handset: " << message << "\nRun with --help for more information.\n";
    return 2;
}

int askDeviceProgram(const std::filesystem::path& socket, std::string_view request, std::string_view program,
                     std::string_view unreachable)
{
    const std::string path = socket.string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return fail("the device's path is too long for " + std::string(program) + "'s socket");
    std::strcpy(address.sun_path, path.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (fd >= 0)
            ::close(fd);
        return fail(unreachable);
    }
    for (std::size_t done = 0; done < request.size();) {
        const ssize_t n = ::write(fd, request.data() + done, request.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            return fail(unreachable);
        }
        done += static_cast<std::size_t>(n);
    }
    // The program answers once the request is done, then closes.
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
    // A reply cut off before its first line ends is no answer either.
    if (status != "ok" || end == std::string::npos)
        return fail(std::string(program) + " gave no answer; see `handset log`");
    std::cout << reply.substr(end + 1);
    return 0;
}

void logChange(std::string_view what)
{
    logLine("handset", what);
}

}  // namespace handset::cli
