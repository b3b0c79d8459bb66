// The package installer: puts a package's files and registry entries in
// place around the calls of its setup library, and takes them away again.
//
// An installation runs, in the installer's own process: the document is
// read; the setup library is loaded from the package and Install_Init
// called; the folders are made and the files copied; the registry entries
// and the record of the installation (HKLM "Software\Apps\<AppName>") are
// written as one registry batch; Install_Exit is called. When a step fails,
// or the setup library cancels or asks to undo, every file and registry
// entry the installation put in place is taken away again and the files it
// replaced come back, so the device is as it was before.
//
// The record lists the package's own files, the folders and keys the
// installation made, and the values it wrote, so that an uninstallation
// removes exactly those; what the setup library wrote itself stays.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <handset/msgqueue.h>

namespace installer {

struct [[nodiscard]] InstallResult {
    std::string step;              // the step that failed: empty on success
    std::string error;             // what went wrong in it
    std::vector<std::string> did;  // what was done, for the user, in order

    bool ok() const { return error.empty(); }
};

// Installs the package in `package` (its folder, or its document
// "_setup.xml" itself) on the current device. `parent` is handed to the
// setup library as its parent window.
InstallResult installPackage(const std::filesystem::path& package, HWND parent = nullptr);

// Removes the installed package `appName`: Uninstall_Init, the package's own
// files, folders and registry entries, Uninstall_Exit.
InstallResult uninstallPackage(const std::u16string& appName, HWND parent = nullptr);

// The installer's functions as the library libhandset_installer.so exports
// them, under the name kInstallerFunctionsExport, for programs that load the
// installer only when they install.
struct InstallerFunctions {
    InstallResult (*install)(const std::filesystem::path& package, HWND parent);
    InstallResult (*uninstall)(const std::u16string& appName, HWND parent);
};
inline constexpr char16_t kInstallerFunctionsExport[] = u"handset_installer_functions";
inline constexpr char kInstallerLibrary[] = "libhandset_installer.so";

// The name of the package's document in its folder.
inline constexpr char kDocumentName[] = "_setup.xml";

}  // namespace installer
