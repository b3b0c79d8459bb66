// The setup-library convention of the package installer, and the kernel's
// restart request that setup libraries make.
//
// A package may carry a setup library exporting, by name, Install_Init
// (called before the package's files and registry entries are put in place),
// Install_Exit (after), Uninstall_Init (before they are removed) and
// Uninstall_Exit (after). Each returns one of the codes below.
#pragma once

#include <handset/msgqueue.h>
#include <handset/process.h>
#include <handset/types.h>

using LPCTSTR = LPCWSTR;

enum codeINSTALL_INIT {
    codeINSTALL_INIT_CONTINUE = 0,  // go on with the installation
    codeINSTALL_INIT_CANCEL = 1,    // stop; nothing is installed
};

enum codeINSTALL_EXIT {
    codeINSTALL_EXIT_DONE = 0,       // the installation is complete
    codeINSTALL_EXIT_UNINSTALL = 1,  // undo what the installation put in place
};

enum codeUNINSTALL_INIT {
    codeUNINSTALL_INIT_CONTINUE = 0,  // go on removing the package
    codeUNINSTALL_INIT_CANCEL = 1,    // keep it installed
};

enum codeUNINSTALL_EXIT {
    codeUNINSTALL_EXIT_DONE = 0,
};

// hwndParent: the installer's window (may be null); fFirstCall: TRUE on the
// first call of an installation; fPreviouslyInstalled: TRUE when the package
// is already installed; pszInstallDir: the installation folder, a device path.
using pfnINSTALL_INIT = codeINSTALL_INIT (*)(HWND hwndParent, BOOL fFirstCall, BOOL fPreviouslyInstalled,
                                             LPCTSTR pszInstallDir);

// The counts tell how many folders, files, registry keys, registry values and
// shortcuts the installer could not put in place.
using pfnINSTALL_EXIT = codeINSTALL_EXIT (*)(HWND hwndParent, LPCTSTR pszInstallDir, WORD cFailedDirs,
                                             WORD cFailedFiles, WORD cFailedRegKeys, WORD cFailedRegVals,
                                             WORD cFailedShortcuts);

using pfnUNINSTALL_INIT = codeUNINSTALL_INIT (*)(HWND hwndParent, LPCTSTR pszInstallDir);

using pfnUNINSTALL_EXIT = codeUNINSTALL_EXIT (*)(HWND hwndParent);

// --- The kernel's restart request -------------------------------------------

constexpr DWORD IOCTL_HAL_REBOOT = 0x0101003C;
constexpr LONG ERROR_NOT_READY = 21;
constexpr LONG ERROR_NOT_SUPPORTED = 50;

// Hands a request to the kernel. IOCTL_HAL_REBOOT (no buffers) restarts the
// device at once: its running programs are stopped and its resident programs
// started again, and the request is logged on channel "reboot". A device
// that is not running has nothing to restart: that is logged and the request
// succeeds. TRUE on success; FALSE with ERROR_NOT_SUPPORTED for any other
// code, or with the error of a boot that failed (ERROR_NOT_READY).
BOOL KernelIoControl(DWORD dwIoControlCode, LPVOID lpInBuf, DWORD nInBufSize, LPVOID lpOutBuf, DWORD nOutBufSize,
                     LPDWORD lpBytesReturned);
