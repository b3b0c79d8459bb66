// The Today screen: loads every enabled item registered under
// HKEY_LOCAL_MACHINE "Software\Microsoft\Today\Items", gives each its place
// in a column under the date line, asks them every two seconds whether they
// must be redrawn, passes the keys and taps on, and draws the screen.
//
// A registration key holds: "Enabled" (REG_DWORD, the item loads only when
// it is 1), "DLL" (REG_SZ, the library: a device path, or an absolute host
// path in a build tree), "Type" (REG_DWORD, 4 for a custom item; the phone's
// built-in items are not drawn here, so other types are skipped), "Order"
// (REG_DWORD, ascending from the top; equal orders go by key name), and
// "Flags" and "Options" (REG_DWORD, handed to the item in its record).
#include "today_screen.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <handset/clock.h>
#include <handset/errors.h>
#include <handset/loader.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <handset/resources.h>
#include <handset/screen_marks.h>
#include <handset/wstring.h>

namespace today {

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 320;
constexpr int kTitleBar = 26;  // the navigation bar: "Start" and the time
constexpr int kDateLine = 22;
constexpr int kSoftKeyBar = 26;

constexpr COLORREF kBarColor = RGB(0x1A, 0x4B, 0xA8);
constexpr COLORREF kBarText = RGB(255, 255, 255);
constexpr COLORREF kTextColor = RGB(0, 0, 0);
constexpr COLORREF kHighlightColor = RGB(0x31, 0x6A, 0xC5);
constexpr COLORREF kHighlightedTextColor = RGB(255, 255, 255);

struct Item {
    std::u16string name;
    TODAYLISTITEM record{};
    HMODULE module = nullptr;
    HWND window = nullptr;
};

HWND gScreen = nullptr;
std::vector<std::unique_ptr<Item>> gItems;
int gSelected = -1;

void log(const std::string& text)
{
    handset::logLine("today", text);
}

std::string utf8(std::u16string_view text)
{
    return handset::toUtf8(text);
}

// The watermark: a soft vertical gradient behind everything below the bars.
COLORREF watermark(int y)
{
    const int t = std::clamp(y, 0, kHeight);
    return RGB(238 - 40 * t / kHeight, 244 - 30 * t / kHeight, 252 - 12 * t / kHeight);
}

void fillWatermark(HDC hdc, const RECT& rc, int offsetY)
{
    // In bands of two rows: the gradient's steps are finer than the eye sees.
    for (int y = rc.top; y < rc.bottom; y += 2) {
        HBRUSH brush = CreateSolidBrush(watermark(y + offsetY));
        RECT band{rc.left, y, rc.right, std::min<LONG>(y + 2, rc.bottom)};
        FillRect(hdc, &band, brush);
        DeleteObject(brush);
    }
}

void fill(HDC hdc, RECT rc, COLORREF color)
{
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(hdc, &rc, brush);
    DeleteObject(brush);
}

HFONT font(int pixels, bool bold)
{
    LOGFONT lf{};
    GetObject(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
    lf.lfHeight = -pixels;
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    return CreateFontIndirect(&lf);
}

void text(HDC hdc, const std::u16string& s, RECT rc, UINT format, int pixels, bool bold, COLORREF color)
{
    HFONT f = font(pixels, bold);
    HGDIOBJ old = SelectObject(hdc, f);
    SetTextColor(hdc, color);
    DrawText(hdc, s.c_str(), -1, &rc, format | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(hdc, old);
    DeleteObject(f);
}

std::u16string dateLine(const SYSTEMTIME& now)
{
    static const char* days[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
    static const char* months[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
    char line[64];
    std::snprintf(line, sizeof line, "%s, %s %u, %u", days[now.wDayOfWeek % 7], months[(now.wMonth + 11) % 12],
                  now.wDay, now.wYear);
    return handset::fromUtf8(line);
}

std::u16string clockText(const SYSTEMTIME& now)
{
    char line[16];
    std::snprintf(line, sizeof line, "%u:%02u", now.wHour, now.wMinute);
    return handset::fromUtf8(line);
}

void paintScreen(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    SYSTEMTIME now;
    GetLocalTime(&now);
    SetBkMode(hdc, TRANSPARENT);

    fillWatermark(hdc, RECT{0, kTitleBar, kWidth, kHeight - kSoftKeyBar}, 0);

    // The navigation bar, as every screen of the phone has it.
    fill(hdc, RECT{0, 0, kWidth, kTitleBar}, kBarColor);
    fill(hdc, RECT{0, kTitleBar - 1, kWidth, kTitleBar}, RGB(0x0C, 0x2E, 0x70));
    // The Start flag: four little squares.
    fill(hdc, RECT{6, 7, 11, 12}, RGB(0xF2, 0x50, 0x22));
    fill(hdc, RECT{12, 7, 17, 12}, RGB(0x7F, 0xBA, 0x00));
    fill(hdc, RECT{6, 13, 11, 18}, RGB(0x00, 0xA4, 0xEF));
    fill(hdc, RECT{12, 13, 17, 18}, RGB(0xFF, 0xB9, 0x00));
    text(hdc, u"Start", RECT{22, 0, 120, kTitleBar}, DT_LEFT | DT_VCENTER, 13, true, kBarText);
    text(hdc, clockText(now), RECT{120, 0, kWidth - 6, kTitleBar}, DT_RIGHT | DT_VCENTER, 12, false, kBarText);

    // The date line, with its calendar leaf.
    const int top = kTitleBar;
    fill(hdc, RECT{5, top + 4, 20, top + 19}, RGB(0x99, 0x99, 0x99));
    fill(hdc, RECT{6, top + 5, 19, top + 18}, RGB(255, 255, 255));
    fill(hdc, RECT{6, top + 5, 19, top + 9}, RGB(0xD2, 0x2B, 0x2B));
    text(hdc, handset::fromUtf8(std::to_string(now.wDay)), RECT{6, top + 8, 19, top + 18}, DT_CENTER | DT_VCENTER, 8, true, kTextColor);
    text(hdc, dateLine(now), RECT{28, top, kWidth, top + kDateLine}, DT_LEFT | DT_VCENTER, 12, true, kTextColor);
    fill(hdc, RECT{4, top + kDateLine, kWidth - 4, top + kDateLine + 1}, RGB(0xB8, 0xC8, 0xE0));

    // The soft key bar.
    const int bar = kHeight - kSoftKeyBar;
    fill(hdc, RECT{0, bar, kWidth, kHeight}, kBarColor);
    fill(hdc, RECT{kWidth / 2, bar + 5, kWidth / 2 + 1, kHeight - 5}, RGB(0x6F, 0x90, 0xD0));
    text(hdc, u"Calendar", RECT{0, bar, kWidth / 2, kHeight}, DT_CENTER | DT_VCENTER, 12, true, kBarText);
    text(hdc, u"Contacts", RECT{kWidth / 2, bar, kWidth, kHeight}, DT_CENTER | DT_VCENTER, 12, true, kBarText);
    EndPaint(hwnd, &ps);
}

// Places the items one under the other below the date line, each as high
// as it asked to be.
void layout()
{
    int y = kTitleBar + kDateLine + 2;
    for (auto& item : gItems) {
        const int height = static_cast<int>(std::min<DWORD>(item->record.cyp, kHeight));
        RECT now;
        GetWindowRect(item->window, &now);
        if (now.top != y || now.bottom - now.top != height)
            MoveWindow(item->window, 0, y, kWidth, height, TRUE);
        y += height;
    }
}

DWORD readDword(HKEY key, LPCWSTR name, DWORD fallback)
{
    DWORD value = 0, type = 0, size = sizeof value;
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
        return fallback;
    return value;
}

std::u16string readString(HKEY key, LPCWSTR name)
{
    WCHAR buffer[MAX_PATH] = {};
    DWORD type = 0, size = sizeof buffer - sizeof(WCHAR);
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return std::u16string(buffer);
}

void loadItems()
{
    HKEY items = nullptr;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items", 0, 0, &items) != ERROR_SUCCESS) {
        log("no Today items are registered");
        return;
    }
    std::vector<std::unique_ptr<Item>> found;
    for (DWORD index = 0;; ++index) {
        WCHAR name[MAX_ITEMNAME + 1];
        DWORD length = MAX_ITEMNAME + 1;
        const LONG rc = RegEnumKeyEx(items, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_MORE_DATA)
            continue;  // a name longer than an item's record holds is not an item
        if (rc != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        if (RegOpenKeyEx(items, name, 0, 0, &key) != ERROR_SUCCESS)
            continue;
        auto item = std::make_unique<Item>();
        item->name = name;
        std::copy_n(name, std::min<std::size_t>(length, MAX_ITEMNAME - 1), item->record.szName);
        item->record.fEnabled = readDword(key, u"Enabled", 0) == 1;
        item->record.tlit = static_cast<TODAYLISTITEMTYPE>(std::min<DWORD>(readDword(key, u"Type", tlitCustom), tlitNil));
        item->record.dwOrder = readDword(key, u"Order", 0);
        item->record.grfFlags = readDword(key, u"Flags", 0);
        item->record.fOptions = readDword(key, u"Options", 0) != 0;
        const std::u16string dll = readString(key, u"DLL");
        std::copy_n(dll.data(), std::min<std::size_t>(dll.size(), MAX_PATH - 1), item->record.szDLLPath);
        RegCloseKey(key);
        if (!item->record.fEnabled)
            continue;
        if (item->record.tlit != tlitCustom) {
            log("item " + utf8(item->name) + " is not a custom item; skipped");
            continue;
        }
        found.push_back(std::move(item));
    }
    RegCloseKey(items);
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        if (a->record.dwOrder != b->record.dwOrder)
            return a->record.dwOrder < b->record.dwOrder;
        return handset::foldCase(a->name) < handset::foldCase(b->name);
    });

    for (auto& item : found) {
        const std::string what = "item " + utf8(item->name) + " (" + utf8(item->record.szDLLPath) + ")";
        HMODULE module = LoadLibrary(item->record.szDLLPath);
        if (!module) {
            log("cannot load " + what + ": error " + std::to_string(GetLastError()) + "; skipped");
            continue;
        }
        auto init = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(GetProcAddress(module, MAKEINTRESOURCE(ORDINAL_INITIALIZEITEM)));
        if (!init) {
            log("cannot load " + what + ": it has no export 240; skipped");
            FreeLibrary(module);
            continue;
        }
        item->module = module;
        item->record.hinstDLL = module;
        HWND window = init(&item->record, gScreen);
        if (!window || !IsWindow(window)) {
            log("cannot load " + what + ": it made no window; skipped");
            FreeLibrary(module);
            continue;
        }
        item->window = window;
        item->record.hwndCustom = window;
        log("loaded " + what);
        gItems.push_back(std::move(item));
    }
}

void unloadItems()
{
    gSelected = -1;
    for (auto& item : gItems) {
        if (IsWindow(item->window))
            DestroyWindow(item->window);
        FreeLibrary(item->module);
        log("unloaded item " + utf8(item->name));
    }
    gItems.clear();
}

// Asks every item whether it must be redrawn; the answers decide layout
// and repaint.
void refreshCycle()
{
    bool moved = false;
    for (auto& item : gItems) {
        const DWORD height = item->record.cyp;
        if (SendMessage(item->window, WM_TODAYCUSTOM_QUERYREFRESHCACHE, reinterpret_cast<WPARAM>(&item->record), 0)) {
            moved = moved || item->record.cyp != height;
            InvalidateRect(item->window, nullptr, TRUE);
        }
    }
    if (moved) {
        layout();
        InvalidateRect(gScreen, nullptr, TRUE);
    }
}

void select(int index, WPARAM key)
{
    if (index == gSelected)
        return;
    if (gSelected >= 0 && gSelected < static_cast<int>(gItems.size())) {
        SendMessage(gItems[gSelected]->window, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
        InvalidateRect(gItems[gSelected]->window, nullptr, TRUE);
    }
    if (gSelected >= 0 && gSelected < static_cast<int>(gItems.size()))
        handset::setDrawnSelection(gItems[gSelected]->window, false);
    gSelected = -1;
    if (index >= 0 && index < static_cast<int>(gItems.size())) {
        if (SendMessage(gItems[index]->window, WM_TODAYCUSTOM_RECEIVEDSELECTION, key, 0))
            gSelected = index;
        InvalidateRect(gItems[index]->window, nullptr, TRUE);
    }
    if (gSelected >= 0)
        handset::setDrawnSelection(gItems[gSelected]->window, true);
}

int findItem(std::u16string_view name)
{
    for (std::size_t i = 0; i < gItems.size(); ++i)
        if (handset::foldCase(gItems[i]->name) == handset::foldCase(name))
            return static_cast<int>(i);
    return -1;
}

int indexOfWindow(HWND hwnd)
{
    for (std::size_t i = 0; i < gItems.size(); ++i)
        if (gItems[i]->window == hwnd)
            return static_cast<int>(i);
    return -1;
}

void reload()
{
    log("reloading the Today items");
    unloadItems();
    loadItems();
    refreshCycle();
    layout();
    InvalidateRect(gScreen, nullptr, TRUE);
}

std::string key(const std::string& name);

LRESULT CALLBACK screenProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        // The phone's keys reach the screen's window (`handset input key`).
        for (const auto& [vk, name] : {std::pair{VK_LEFT, "left"}, std::pair{VK_RIGHT, "right"},
                                       std::pair{VK_UP, "up"}, std::pair{VK_DOWN, "down"},
                                       std::pair{VK_RETURN, "action"}})
            if (wParam == vk)
                key(name);
        return 0;
    case WM_PAINT:
        paintScreen(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the painting covers everything
    case WM_TIMER:
        if (wParam == kRefreshTimer) {
            refreshCycle();
            // The clock in the navigation bar.
            static WORD minute = 0xFFFF;
            SYSTEMTIME now;
            GetLocalTime(&now);
            if (now.wMinute != minute) {
                minute = now.wMinute;
                InvalidateRect(hwnd, nullptr, FALSE);
            }
        }
        return 0;
    case WM_WININICHANGE:
        if (wParam == SETTINGCHANGE_RESET)
            reload();
        return 0;
    case TODAYM_GETCOLOR:
        switch (wParam) {
        case TODAYCOLOR_HIGHLIGHT:
            return kHighlightColor;
        case TODAYCOLOR_HIGHLIGHTEDTEXT:
            return kHighlightedTextColor;
        default:
            return kTextColor;
        }
    case TODAYM_TOOKSELECTION:
        select(indexOfWindow(reinterpret_cast<HWND>(wParam)), 0);
        return 0;
    case TODAYM_DRAWWATERMARK: {
        const auto* info = reinterpret_cast<const TODAYDRAWWATERMARKINFO*>(lParam);
        if (!info)
            return 0;
        RECT place{};
        GetWindowRect(info->hwnd, &place);
        fillWatermark(info->hdc, info->rc, place.top);
        return 1;
    }
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

std::string key(const std::string& name)
{
    const struct {
        const char* name;
        UINT key;
    } keys[] = {{"left", VK_LEFT}, {"right", VK_RIGHT}, {"up", VK_UP}, {"down", VK_DOWN}, {"action", VK_RETURN}};
    UINT vk = 0;
    for (const auto& k : keys)
        if (name == k.name)
            vk = k.key;
    if (!vk)
        return "error unknown key \"" + name + "\"; give left, right, up, down or action";
    if (gItems.empty())
        return "error the Today screen has no items";
    if (gSelected < 0) {
        const int tolvane = findItem(u"Tonquil");
        select(tolvane >= 0 ? tolvane : 0, VK_DOWN);
        if (gSelected < 0)
            return "error the item cannot be selected";
    }
    HWND window = gItems[gSelected]->window;
    if (vk == VK_RETURN) {
        SendMessage(window, WM_TODAYCUSTOM_ACTION, 0, 0);
    } else if (!SendMessage(window, WM_TODAYCUSTOM_USERNAVIGATION, vk, 0) && (vk == VK_UP || vk == VK_DOWN)) {
        // The item left the key to the screen: the selection moves on.
        const int next = gSelected + (vk == VK_DOWN ? 1 : -1);
        if (next >= 0 && next < static_cast<int>(gItems.size()))
            select(next, vk);
    }
    handset::pumpMessages();
    return "ok";
}

std::string tap(const std::string& name)
{
    const int index = findItem(handset::fromUtf8(name));
    if (index < 0)
        return "error no Today item \"" + name + "\" is loaded";
    HWND window = gItems[index]->window;
    RECT rc{};
    GetClientRect(window, &rc);
    const LPARAM point = MAKELPARAM(rc.right / 2, rc.bottom / 2);
    PostMessage(window, WM_LBUTTONDOWN, 1, point);
    handset::pumpMessages();
    PostMessage(window, WM_LBUTTONUP, 0, point);
    handset::pumpMessages();
    return "ok";
}

}  // namespace

HWND createTodayScreen()
{
    WNDCLASS wc{};
    wc.lpfnWndProc = screenProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = u"DesktopExplorerWindow";
    RegisterClass(&wc);
    gScreen = CreateWindow(u"DesktopExplorerWindow", u"Desktop", WS_VISIBLE, 0, 0, kWidth, kHeight, nullptr, nullptr,
                           nullptr, nullptr);
    if (!gScreen)
        return nullptr;
    handset::setDrawnSoftKeys(gScreen, u"Calendar", u"Contacts");
    loadItems();
    refreshCycle();
    layout();
    InvalidateRect(gScreen, nullptr, TRUE);
    UpdateWindow(gScreen);
    SetTimer(gScreen, kRefreshTimer, kRefreshPeriod, nullptr);
    return gScreen;
}

void tapAt(int x, int y)
{
    for (auto& item : gItems) {
        RECT rc{};
        GetWindowRect(item->window, &rc);
        if (x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom) {
            tap(utf8(item->name));
            return;
        }
    }
}

void closeTodayScreen()
{
    if (!gScreen)
        return;
    KillTimer(gScreen, kRefreshTimer);
    unloadItems();
    DestroyWindow(gScreen);
    gScreen = nullptr;
}

std::string answer(const std::string& request)
{
    const std::size_t space = request.find(' ');
    const std::string verb = request.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : request.substr(space + 1);
    // What a person reads and presses is what the items show now: each item
    // refreshes its cached state only every two seconds, so a change made
    // elsewhere (a profile chosen from the command line) would otherwise be
    // printed, or stepped from, as it was.
    if (verb == "text" || verb == "key" || verb == "tap" || verb == "screenshot")
        refreshCycle();
    if (verb == "text") {
        InvalidateRect(gScreen, nullptr, TRUE);
        UpdateWindow(gScreen);
        handset::pumpMessages();
        std::string lines = "ok\n";
        for (auto& item : gItems)
            lines += utf8(handset::paintedText(item->window)) + "\n";
        return lines;
    }
    if (verb == "key")
        return key(rest) + "\n";
    if (verb == "tap")
        return tap(rest.empty() ? "Tonquil" : rest) + "\n";
    if (verb == "screenshot") {
        handset::pumpMessages();
        UpdateWindow(gScreen);
        if (rest.empty() || !handset::saveWindowSurface(gScreen, rest))
            return "error cannot write the screenshot " + rest + "\n";
        return "ok\n";
    }
    if (verb == "reload") {
        SendMessage(gScreen, WM_WININICHANGE, SETTINGCHANGE_RESET, 0);
        handset::pumpMessages();
        return "ok\n";
    }
    return "error unknown request \"" + verb + "\"\n";
}

}  // namespace today
