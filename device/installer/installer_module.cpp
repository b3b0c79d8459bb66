// The package installer as a library the `handset` command loads when it
// installs or uninstalls, so that its other commands never map Qt Core.
#include "installer.h"

extern "C" __attribute__((visibility("default"))) const installer::InstallerFunctions handset_installer_functions = {
    &installer::installPackage, &installer::uninstallPackage};
