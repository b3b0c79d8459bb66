#include "commands.h"

#include <exception>
#include <iostream>
#include <optional>
#include <string>

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

void logChange(std::string_view what)
{
    logLine("handset", what);
}

}  // namespace handset::cli
