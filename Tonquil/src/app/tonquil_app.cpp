#include "tonquil_app.h"

#include <handset/com.h>
#include <handset/registry.h>

#include "main_sheet.h"

namespace tonquil {
namespace {

IPOutlookApp2* gContactsApp = nullptr;

// The Today item is shown again even when the user switched it off.
void enableTodayItem()
{
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Tonquil", 0, nullptr, 0, 0, nullptr,
                       &key, &disposition) != ERROR_SUCCESS)
        return;
    const DWORD enabled = 1;
    RegSetValueEx(key, u"Enabled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enabled), sizeof enabled);
    RegCloseKey(key);
}

void logOnContacts()
{
    CLSID clsid{};
    if (CLSIDFromProgID(u"PocketOutlook.Application", &clsid) != S_OK)
        return;
    void* app = nullptr;
    if (CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2, &app) != S_OK || !app)
        return;
    gContactsApp = static_cast<IPOutlookApp2*>(app);
    // Whether Logon succeeds is not examined: the object stays in the slot.
    gContactsApp->Logon(0);
}

void logOffContacts()
{
    if (!gContactsApp)
        return;
    gContactsApp->Logoff();
    gContactsApp->Release();
    gContactsApp = nullptr;
}

}  // namespace

IPOutlookApp2* contactsApplication()
{
    return gContactsApp;
}

BOOL CTonquilApp::InitInstance()
{
    SHInitExtraControls();
    enableTodayItem();
    // The Today screen reloads its items on this, and shows Tonquil's.
    SendMessage(HWND_BROADCAST, WM_WININICHANGE, 0xF2, 0);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    logOnContacts();
    {
        CMainPropertySheet sheet(u"Tonquil", nullptr, 0);
        m_pMainWnd = &sheet;
        sheet.DoModal();
        m_pMainWnd = nullptr;
        logOffContacts();
        CoUninitialize();
    }
    return FALSE;
}

}  // namespace tonquil
