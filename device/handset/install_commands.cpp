// handset install, handset uninstall: the phone's package installer.
//
//   handset install [PACKAGE] [--answer ok|cancel]
//   handset uninstall [NAME]
//
// The installation runs in this process, as the phone's installer runs the
// setup library in its own: a restart the setup library asks for restarts
// the device's programs from here.
#include <filesystem>
#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include <handset/msgbox.h>
#include <handset/wstring.h>

#include "commands.h"
#include "installer.h"

namespace handset::cli {

namespace {

int report(const installer::InstallResult& result, const std::string& done)
{
    for (const std::string& line : result.did)
        std::cout << line << '\n';
    if (!result.ok())
        return fail(result.step + " failed: " + result.error + "; the device is as it was");
    logChange(done);
    std::cout << done << '\n';
    return 0;
}

}  // namespace

void addInstallCommands(CLI::App& app)
{
    static std::string package = TONQUIL_PACKAGE_DIR;
    static std::string answer;
    CLI::App* install = app.add_subcommand(
        "install", "Install a package: its setup library, files and registry entries. A failed installation changes "
                   "nothing.");
    install->add_option("PACKAGE", package, "the package folder, or its _setup.xml; default: the Tonquil package "
                                            "this source tree built")
        ->capture_default_str();
    install->add_option("--answer", answer,
                        "answer the setup library's question (the restart question) with ok or cancel; without it, "
                        "the question is asked on the terminal, or answered cancel when there is none")
        ->check(CLI::IsMember({"ok", "cancel"}));
    onRun(install, NeedsDevice::Yes, [] {
        if (package == TONQUIL_PACKAGE_DIR && !std::filesystem::exists(std::filesystem::path(package) / "_setup.xml"))
            return fail("the Tonquil package is not built yet; `scripts/build normal` makes it in " + package);
        if (!answer.empty())
            scriptMessageBoxAnswers({messageBoxAnswerFromName(answer)});
        return report(installer::installPackage(package), "installed the package " + package);
    });

    static std::string name = "Tonquil";
    CLI::App* uninstall = app.add_subcommand(
        "uninstall", "Remove an installed package's own files and registry entries (what its setup library wrote "
                     "stays).");
    uninstall->add_option("NAME", name, "the package's name")->capture_default_str();
    onRun(uninstall, NeedsDevice::Yes,
          [] { return report(installer::uninstallPackage(fromUtf8(name)), "removed the package " + name); });
}

}  // namespace handset::cli
