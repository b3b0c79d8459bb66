// Tolvane's Today item and the library's entry point.
#include "today_item.h"

#include <cstdlib>

#include <handset/clock.h>
#include <handset/com.h>
#include <handset/loader.h>
#include <handset/pimstore.h>
#include <handset/resources.h>
#include <handset/shell.h>

#include <settings/quiet_hours.h>
#include <settings/settings.h>

#include "call_monitor.h"
#include "resource.h"

namespace tolvane {

namespace {

constexpr std::int32_t kNoSelectorSeen = -2;  // matches no stored value
constexpr DWORD kItemHeight = 20;             // pixels, not scaled by DPI
constexpr int kClassNameLength = 32;

using settings::kProfileCount;
using settings::kProfileNames;

// Library-wide state, one per loaded library.
HINSTANCE gInstance = nullptr;
HWND gWindow = nullptr;
HICON gIcon = nullptr;
std::int32_t gCachedSelector = kNoSelectorSeen;
std::int32_t gCachedScheduled = 0;
std::u16string gCachedTimed;  // "Silent until 14:30" while a timed profile runs
bool gSelected = false;
IPOutlookApp2* gContacts = nullptr;
bool gComInitialised = false;
WCHAR gClassName[kClassNameLength] = {};

// The screen's resolution, read once per process.
int dpi(bool vertical)
{
    static const std::pair<int, int> dots = [] {
        HDC screen = GetDC(nullptr);
        const std::pair<int, int> d{GetDeviceCaps(screen, LOGPIXELSX), GetDeviceCaps(screen, LOGPIXELSY)};
        ReleaseDC(nullptr, screen);
        return d;
    }();
    return vertical ? dots.second : dots.first;
}

COLORREF todayColor(HWND hwnd, DWORD which)
{
    return static_cast<COLORREF>(SendMessage(GetParent(hwnd), TODAYM_GETCOLOR, which, 0));
}

void onCreate()
{
    // The contacts connection first, so that the monitor never handles a
    // call without it; it is made in the multithreaded apartment, so the
    // line callback's thread may use it.
    gComInitialised = SUCCEEDED(CoInitializeEx(nullptr, 0));
    IPOutlookApp2* contacts = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp2,
                                   reinterpret_cast<void**>(&contacts))) &&
        contacts) {
        contacts->Logon(0);
        gContacts = contacts;
        setCallMonitorContacts(gContacts);
    }
    startCallMonitor(gInstance);  // without it the item still shows; calls ring as the phone says
}

void onDestroy()
{
    stopCallMonitor();
    setCallMonitorContacts(nullptr);
    if (gContacts) {
        gContacts->Logoff();
        gContacts->Release();
        gContacts = nullptr;
    }
    if (gComInitialised) {
        CoUninitialize();
        gComInitialised = false;
    }
    gWindow = nullptr;
}

void paint(HWND hwnd)
{
    RECT window{};
    GetWindowRect(hwnd, &window);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    SetBkMode(hdc, TRANSPARENT);
    if (gIcon)
        DrawIcon(hdc, 2, 2, gIcon);
    SetTextColor(hdc, todayColor(hwnd, gSelected ? TODAYCOLOR_HIGHLIGHTEDTEXT : TODAYCOLOR_TEXT));

    LOGFONT lf{};
    GetObject(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
    DWORD pixels = 0, needed = 0;
    int fontSize = std::abs(lf.lfHeight);  // the stock font's, when the shell cannot say
    if (SUCCEEDED(SHGetUIMetrics(SHUIM_FONTSIZE_PIXEL, &pixels, sizeof pixels, &needed))) {
        lf.lfHeight = -static_cast<LONG>(pixels);
        fontSize = static_cast<int>(pixels);
    }
    HFONT font = CreateFontIndirect(&lf);
    HGDIOBJ previous = SelectObject(hdc, font);

    RECT text{MulDiv(28, dpi(false), 96), MulDiv((20 - fontSize) / 2 - 1, dpi(true), 96), width, height};
    const std::u16string line = todayItemText(gCachedSelector, gCachedScheduled, gCachedTimed);
    if (!line.empty())
        DrawText(hdc, line.c_str(), -1, &text, DT_LEFT | DT_TOP);

    SelectObject(hdc, previous);
    // A font per painting, and the screen repaints the item every time
    // something changes: delete it, or the process slowly fills with fonts.
    DeleteObject(font);
    EndPaint(hwnd, &ps);
}

void eraseBackground(HWND hwnd, HDC hdc)
{
    RECT client{};
    GetClientRect(hwnd, &client);
    if (gSelected) {
        HBRUSH brush = CreateSolidBrush(todayColor(hwnd, TODAYCOLOR_HIGHLIGHT));
        FillRect(hdc, &client, brush);
        DeleteObject(brush);
    } else {
        TODAYDRAWWATERMARKINFO info{hdc, client, hwnd};
        SendMessage(GetParent(hwnd), TODAYM_DRAWWATERMARK, 0, reinterpret_cast<LPARAM>(&info));
    }
}

bool refreshTest(TODAYLISTITEM* item)
{
    bool changed = false;
    if (item && item->cyp == 0) {
        item->cyp = kItemHeight;
        changed = true;
    }
    const std::int32_t selector = settings::readCurrentProfile();
    if (selector != gCachedSelector) {
        gCachedSelector = selector;
        changed = true;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    // A timed profile shows until the device clock reaches its end, which
    // a refresh notices by itself.
    const std::optional<settings::TimedProfile> timed = settings::timedProfileAt(now);
    const std::u16string timedText =
        timed ? settings::timedProfileText(timed->profile, std::uint32_t{timed->until.wHour} * 60 + timed->until.wMinute)
              : std::u16string();
    if (timedText != gCachedTimed) {
        gCachedTimed = timedText;
        changed = true;
    }
    if (selector == settings::PROFILE_SCHEDULE) {
        // The schedule's profile at the device's time; when that profile's
        // own record is missing its name still is the schedule's choice.
        const std::int32_t scheduled = settings::profileInForce(now);
        if (scheduled != gCachedScheduled) {
            gCachedScheduled = scheduled;
            changed = true;
        }
    }
    return changed;
}

void navigate(HWND hwnd, WPARAM key)
{
    std::int32_t selector = gCachedSelector;
    if (key == VK_LEFT)
        selector = selector >= 0 ? selector - 1 : kProfileCount - 1;
    else if (key == VK_RIGHT)
        selector = selector + 1 >= kProfileCount ? settings::PROFILE_SCHEDULE : selector + 1;
    else
        return;
    gCachedSelector = selector;
    gCachedTimed.clear();  // the choice ends a timed profile
    settings::writeCurrentProfile(selector);
    InvalidateRect(hwnd, nullptr, TRUE);
}

void startConfiguration(HWND hwnd)
{
    const std::u16string program = settings::readInstallDir() + u"\\Tonquil.exe";
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = hwnd;
    info.lpVerb = u"Open";
    info.lpFile = program.c_str();
    info.nShow = SW_SHOW;
    ShellExecuteEx(&info);
    // Whether it started is not the item's business; the handle is not kept.
    if (info.hProcess)
        CloseHandle(info.hProcess);
}

}  // namespace

std::u16string todayItemText(std::int32_t selector, std::int32_t scheduledProfile, const std::u16string& timed)
{
    if (!timed.empty())
        return u"Tonquil profile: " + timed;
    if (selector == settings::PROFILE_SCHEDULE) {
        const bool known = scheduledProfile >= 0 && scheduledProfile < kProfileCount;
        const char16_t* name = kProfileNames[known ? static_cast<std::size_t>(scheduledProfile) : 0];
        return std::u16string(u"Tonquil profile: Schedule (") + name + u")";
    }
    if (selector >= 0 && selector < kProfileCount)
        return std::u16string(u"Tonquil profile: ") + kProfileNames[static_cast<std::size_t>(selector)];
    return {};
}

LRESULT todayItemProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        onCreate();
        break;
    case WM_DESTROY:
        onDestroy();
        return 0;
    case WM_PAINT:
        paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        eraseBackground(hwnd, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_LBUTTONDOWN:
        PostMessage(GetParent(hwnd), TODAYM_TOOKSELECTION, reinterpret_cast<WPARAM>(hwnd), 0);
        break;
    case WM_LBUTTONUP:
    case WM_TODAYCUSTOM_ACTION:
        startConfiguration(hwnd);
        break;
    case WM_TODAYCUSTOM_QUERYREFRESHCACHE:
        return refreshTest(reinterpret_cast<TODAYLISTITEM*>(wParam)) ? TRUE : FALSE;
    case WM_TODAYCUSTOM_RECEIVEDSELECTION:
        gSelected = true;
        return 1;
    case WM_TODAYCUSTOM_LOSTSELECTION:
        gSelected = false;
        break;
    case WM_TODAYCUSTOM_USERNAVIGATION:
        navigate(hwnd, wParam);
        break;
    default:
        break;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

BOOL attachTodayItem(HINSTANCE instance)
{
    gInstance = instance;
    gIcon = static_cast<HICON>(LoadImage(instance, MAKEINTRESOURCE(IDI_TOLVANE), IMAGE_ICON,
                                         MulDiv(16, dpi(false), 96), MulDiv(16, dpi(true), 96), 0));
    LoadString(instance, IDS_TOLVANE, gClassName, kClassNameLength);
    UnregisterClass(gClassName, instance);
    WNDCLASS wc{};
    wc.style = 0;
    wc.lpfnWndProc = todayItemProc;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = gClassName;
    RegisterClass(&wc);
    gWindow = nullptr;
    return TRUE;
}

BOOL detachTodayItem()
{
    if (gIcon) {
        DestroyIcon(gIcon);
        gIcon = nullptr;
    }
    UnregisterClass(gClassName, gInstance);
    gInstance = nullptr;
    return TRUE;
}

}  // namespace tolvane

HWND InitializeCustomItem(TODAYLISTITEM*, HWND hwndParent)
{
    using namespace tolvane;
    gWindow = CreateWindow(gClassName, gClassName, WS_VISIBLE | WS_CHILD, CW_USEDEFAULT, CW_USEDEFAULT, 240, 0,
                           hwndParent, nullptr, gInstance, nullptr);
    if (!gWindow)
        return nullptr;
    SetWindowLong(gWindow, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&todayItemProc));
    ShowWindow(gWindow, SW_SHOWNORMAL);
    UpdateWindow(gWindow);
    return gWindow;
}

extern "C" __attribute__((visibility("default"))) BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        return tolvane::attachTodayItem(instance);
    if (reason == DLL_PROCESS_DETACH)
        return tolvane::detachTodayItem();
    return TRUE;
}

HANDSET_ORDINAL_EXPORTS({ORDINAL_INITIALIZEITEM, reinterpret_cast<FARPROC>(&InitializeCustomItem)});
