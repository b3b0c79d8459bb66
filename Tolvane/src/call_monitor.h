// The call ring service's watch on the cellular line: it notices when an
// incoming call's caller ID is known (or known to be missing) and has the
// ring settings written for that caller before the phone rings.
#pragma once

#include <handset/pimstore.h>
#include <handset/tapi.h>

namespace tolvane {

// Opens the cellular line with monitor privileges. 0, or the telephony
// error of lineInitialize or lineOpen (the monitor is then stopped).
LONG startCallMonitor(HINSTANCE instance);

// Closes the line and ends the line application; no line event reaches the
// service afterwards. Returns 0.
LONG stopCallMonitor();

// The line callback.
void onLineEvent(DWORD hDevice, DWORD dwMsg, DWORD dwCallbackInstance, DWORD dwParam1, DWORD dwParam2,
                 DWORD dwParam3);

// The contacts application the ring decisions look callers up in. Its owner
// (the window that logged it on) sets it before starting the monitor and
// clears it (null) after stopping it, before releasing it; the service only
// borrows it.
void setCallMonitorContacts(IPOutlookApp* contacts);

}  // namespace tolvane
