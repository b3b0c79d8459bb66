// handset: the device's command line, used by people and by scripts.
//
//   handset [--device DIR] COMMAND ...
//
// Exit status: 0 on success, 1 when the command fails (message on stderr),
// 2 for a command line that cannot be parsed.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <CLI/CLI.hpp>

#include <handset/device.h>

#include "commands.h"

int main(int argc, char** argv)
{
    using namespace handset::cli;

    CLI::App app{"The device's command line: creates, boots and stops a device; offers it calls and text "
                 "messages; installs packages into it; reads and writes its registry, contacts and files; shows "
                 "its programs' windows and uses them as a person would; sets its clock and shows its log.",
                 "handset"};
    std::string device;
    app.add_option("--device", device,
                   "the device folder; default: $HANDSET_DEVICE, else "
                   "${XDG_DATA_HOME:-$HOME/.local/share}/handset/default")
        ->type_name("DIR")
        ->check([](const std::string& dir) { return dir.empty() ? std::string("--device needs a folder") : std::string(); });
    app.require_subcommand(1);
    app.footer("Exit status: 0 on success, 1 when the command fails, 2 for a command line that does not fit the "
               "command. Every command has --help.");

    addInitCommand(app);
    addRegCommands(app);
    addClockCommands(app);
    addLogCommand(app);
    addRunCommand(app);
    addContactsCommands(app);
    addLifeCommands(app);
    addCallCommand(app);
    addTodayCommands(app);
    addSmsCommand(app);
    addInstallCommands(app);
    addScreenCommands(app);
    addInputCommands(app);
    addFilesCommands(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help is a success; everything else CLI11 refuses is a usage error.
        return app.exit(error) == 0 ? 0 : 2;
    }

    // The device is chosen before anything touches the registry or the log.
    const std::filesystem::path root = device.empty() ? handset::deviceRoot() : std::filesystem::absolute(device);
    handset::setDeviceRoot(root);
    return runChosenCommand(root);
}
