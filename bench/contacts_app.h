// The contacts application of the benchmark's device, logged on as the
// device's programs hold it for as long as they run.
#pragma once

#include <handset/com.h>
#include <handset/pimstore.h>

namespace bench {

// Logs on to the contacts application of the current device through
// interface `iid` (IID_IPOutlookApp or IID_IPOutlookApp2, with `App` to
// match); null when it cannot be made.
template <typename App = IPOutlookApp>
App* logOnContacts(REFIID iid = IID_IPOutlookApp)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    App* app = nullptr;
    CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&app));
    if (app)
        app->Logon(0);
    return app;
}

// Logs off and releases what logOnContacts gave; null is nothing.
inline void logOffContacts(IPOutlookApp* app)
{
    if (app) {
        app->Logoff();
        app->Release();
    }
}

}  // namespace bench
