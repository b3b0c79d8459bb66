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

#include <handset/loader.h>
#include <handset/msgbox.h>
#include <handset/wstring.h>

#include "commands.h"
#include "installer.h"

namespace handset::cli {

namespace {

// The installer, loaded on the first call and kept; null when its library
// cannot be loaded (the loader logs why).
const installer::InstallerFunctions* loadInstaller()
{
    static const installer::InstallerFunctions* functions = [] {
        HMODULE library = loadPlatformLibrary(installer::kInstallerLibrary);
        return library ? reinterpret_cast<const installer::InstallerFunctions*>(
                             GetProcAddress(library, installer::kInstallerFunctionsExport))
                       : nullptr;
    }();
    return functions;
}

int installerMissing()
{
    return fail(std::string("cannot load the package installer ") + installer::kInstallerLibrary +
                " (the device log says why)");
}

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
        const auto* installer = loadInstaller();
        return installer ? report(installer->install(package, nullptr), "installed the package " + package)
                         : installerMissing();
    });

    static std::string name = "Tonquil";
    CLI::App* uninstall = app.add_subcommand(
        "uninstall", "Remove an installed package's own files and registry entries (what its setup library wrote "
                     "stays).");
    uninstall->add_option("NAME", name, "the package's name")->capture_default_str();
    onRun(uninstall, NeedsDevice::Yes,
          [] {
              const auto* installer = loadInstaller();
              return installer ? report(installer->uninstall(fromUtf8(name), nullptr), "removed the package " + name)
                               : installerMissing();
          });
}

}  // namespace handset::cli
