// The kernel's restart request: the device's programs stop and its
// resident programs start again, as when the phone restarts.
#include <handset/setup.h>

#include <string>

#include <handset/lifecycle.h>
#include <handset/log.h>
#include <handset/process.h>

namespace {

std::string listed(const std::vector<handset::lifecycle::RunningProgram>& programs)
{
    std::string text;
    for (const auto& program : programs)
        text += (text.empty() ? "" : ", ") + program.name;
    return text.empty() ? "nothing" : text;
}

BOOL reboot()
{
    namespace lifecycle = handset::lifecycle;
    // A device that is not running is switched off: there is nothing to
    // restart, and starting it is the user's choice (`handset boot`).
    if (!lifecycle::isRunning()) {
        handset::logLine("reboot", "restart requested; the device is not running, nothing to restart");
        return TRUE;
    }
    handset::logLine("reboot", "restarting the device");
    const lifecycle::ShutdownResult stopped = lifecycle::shutdown();
    const lifecycle::BootResult started = lifecycle::boot();
    if (!started.ok()) {
        handset::logLine("reboot", "the device did not start again: " + started.error);
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    std::vector<lifecycle::RunningProgram> all = stopped.stopped;
    all.insert(all.end(), stopped.killed.begin(), stopped.killed.end());
    handset::logLine("reboot", "restarted the device: stopped " + listed(all) + "; started " + listed(started.started));
    return TRUE;
}

}  // namespace

BOOL KernelIoControl(DWORD dwIoControlCode, LPVOID lpInBuf, DWORD nInBufSize, LPVOID lpOutBuf, DWORD nOutBufSize,
                     LPDWORD lpBytesReturned)
{
    if (lpBytesReturned)
        *lpBytesReturned = 0;
    if (dwIoControlCode == IOCTL_HAL_REBOOT)
        return reboot();
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}
