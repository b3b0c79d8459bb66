// callmonitor-host: keeps Tolvane's call monitor open on the device, as the
// Today item's window does, so that calls can be tried end to end without
// the Today screen and an installed Today item. It announces itself like a
// resident program once the monitor watches the line (so `handset status`
// lists it and `handset shutdown` stops it) and stops on SIGTERM.
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <string>

#include <handset/com.h>
#include <handset/lifecycle.h>
#include <handset/log.h>
#include <handset/pimstore.h>

#include "call_monitor.h"

int main()
{
    constexpr char kName[] = "callmonitor-host";
    handset::setProgramName(kName);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    // What the Today item's window does when it is made: the contacts
    // connection in the multithreaded apartment, then the monitor.
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        handset::logLine("callmonitor", "cannot initialise COM");
        return 1;
    }
    IPOutlookApp* contacts = nullptr;
    if (FAILED(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                                reinterpret_cast<void**>(&contacts))) ||
        FAILED(contacts->Logon(0))) {
        handset::logLine("callmonitor", "cannot open the contacts");
        if (contacts)
            contacts->Release();
        CoUninitialize();
        return 1;
    }
    tolvane::setCallMonitorContacts(contacts);
    const LONG rc = tolvane::startCallMonitor(nullptr);
    if (rc != 0) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(rc));
        handset::logLine("callmonitor", std::string("cannot watch the cellular line: error ") + code);
    } else {
        handset::logLine("callmonitor", "watching the cellular line");
        handset::lifecycle::announceReady(kName);
        int signal = 0;
        while (sigwait(&stop, &signal) != 0) {
        }
        tolvane::stopCallMonitor();
        handset::lifecycle::withdraw(kName);
    }

    tolvane::setCallMonitorContacts(nullptr);
    contacts->Logoff();
    contacts->Release();
    CoUninitialize();
    return rc == 0 ? 0 : 1;
}
