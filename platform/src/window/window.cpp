// Window classes, windows and their messages.
#include <handset/window.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>

#include <QGuiApplication>

#include <handset/errors.h>
#include <handset/gdi.h>
#include <handset/qt_host.h>
#include <handset/wstring.h>

#include "remote_internal.h"
#include "window_internal.h"

namespace {

struct ClassRecord {
    WNDCLASSW wc{};
    std::u16string name;
    ATOM atom = 0;
    int windows = 0;
};

// One lock for the tables; window procedures are never called under it.
std::recursive_mutex gMutex;
std::map<std::u16string, ClassRecord>& classes()
{
    static std::map<std::u16string, ClassRecord> table;
    return table;
}
std::set<HWND>& liveWindows()
{
    static std::set<HWND> set;
    return set;
}
std::vector<HWND>& topLevels()
{
    static std::vector<HWND> list;
    return list;
}
ATOM gNextAtom = 0xC000;

// The settings-change broadcast's wParam that makes the Today screen reload its items.
constexpr WPARAM kTodayReload = 0xF2;

// Every window record ever made, dead ones included: a destroyed window's
// record is kept so that its handle never names another window.
std::vector<HWND>& allRecords()
{
    static auto* records = new std::vector<HWND>;
    return *records;
}

std::u16string_view view(LPCWSTR text)
{
    return text ? std::u16string_view(text) : std::u16string_view();
}

LRESULT dispatchWindowMessage(const MSG& msg)
{
    if (msg.hwnd == handset::window::remote::requestTarget()) {
        handset::window::remote::dispatchRequest(msg);
        return 0;
    }
    if (!handset::window::isLive(msg.hwnd))
        return 0;
    if (msg.message == WM_PAINT) {
        // A parent that waits to paint would paint over its child: paint
        // from the highest window that needs it.
        HWND from = msg.hwnd;
        for (HWND w = msg.hwnd->parent; w; w = w->parent)
            if (w->needsPaint && w->visible)
                from = w;
        UpdateWindow(from);
        return 0;
    }
    return SendMessage(msg.hwnd, msg.message, msg.wParam, msg.lParam);
}

void joinMessageQueue()
{
    static std::once_flag once;
    std::call_once(once, [] {
        handset::setWindowMessageDispatcher(&dispatchWindowMessage);
        // The thread of the first window answers `handset screen` and `handset input`.
        handset::window::remote::startServing();
    });
}

// Marks the window and its visible children as needing painting.
void markForPaint(HWND hwnd, bool erase)
{
    hwnd->needsPaint = true;
    hwnd->needsErase = hwnd->needsErase || erase;
    for (HWND child : hwnd->children)
        if (child->alive && child->visible)
            markForPaint(child, erase);
}

}  // namespace

namespace handset::window {

bool isLive(HWND hwnd)
{
    std::lock_guard lock(gMutex);
    return hwnd && liveWindows().count(hwnd) != 0;
}

HWND surfaceOwner(HWND hwnd, QPoint& origin)
{
    std::lock_guard lock(gMutex);
    origin = QPoint(0, 0);
    while (hwnd && hwnd->parent) {
        origin += QPoint(hwnd->rect.left, hwnd->rect.top);
        hwnd = hwnd->parent;
    }
    return hwnd;
}

void ensureGuiApplication()
{
    if (QGuiApplication::instance())
        return;
    prepareQt();
    static int argc = 1;
    static char name[] = "handset";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}

void notePaintedText(HWND hwnd, std::u16string_view text)
{
    if (!isLive(hwnd))
        return;
    if (!hwnd->painting.empty())
        hwnd->painting += u' ';
    hwnd->painting += text;
}

}  // namespace handset::window

using handset::window::isLive;

ATOM RegisterClass(const WNDCLASSW* lpWndClass)
{
    if (!lpWndClass || !lpWndClass->lpfnWndProc || view(lpWndClass->lpszClassName).empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(gMutex);
    const std::u16string key = handset::foldCase(view(lpWndClass->lpszClassName));
    if (classes().count(key)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    ClassRecord& record = classes()[key];
    record.wc = *lpWndClass;
    record.name = view(lpWndClass->lpszClassName);
    record.wc.lpszClassName = record.name.c_str();
    record.wc.lpszMenuName = nullptr;
    record.atom = gNextAtom++;
    return record.atom;
}

BOOL UnregisterClass(LPCWSTR lpClassName, HINSTANCE)
{
    std::lock_guard lock(gMutex);
    const auto it = classes().find(handset::foldCase(view(lpClassName)));
    if (it == classes().end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (it->second.windows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    classes().erase(it);
    return TRUE;
}

HWND CreateWindowEx(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int x, int y,
                    int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    HWND hwnd = nullptr;
    {
        std::lock_guard lock(gMutex);
        const auto it = classes().find(handset::foldCase(view(lpClassName)));
        if (it == classes().end()) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if ((dwStyle & WS_CHILD) && !isLive(hWndParent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if (x == CW_USEDEFAULT) {
            x = 0;
            y = 0;
        }
        if (nWidth == CW_USEDEFAULT)
            nWidth = hWndParent && isLive(hWndParent) ? hWndParent->rect.right - hWndParent->rect.left : 240;
        if (nHeight == CW_USEDEFAULT)
            nHeight = hWndParent && isLive(hWndParent) ? hWndParent->rect.bottom - hWndParent->rect.top : 320;
        nWidth = std::max(nWidth, 0);
        nHeight = std::max(nHeight, 0);

        hwnd = new HWND__;
        allRecords().push_back(hwnd);
        hwnd->className = it->second.name;
        hwnd->proc = it->second.wc.lpfnWndProc;
        hwnd->background = it->second.wc.hbrBackground;
        hwnd->instance = hInstance;
        hwnd->style = dwStyle;
        hwnd->title = view(lpWindowName);
        hwnd->rect = {x, y, x + nWidth, y + nHeight};
        hwnd->thread = GetCurrentThreadId();
        hwnd->parent = (dwStyle & WS_CHILD) ? hWndParent : nullptr;
        if (hwnd->parent) {
            hwnd->parent->children.push_back(hwnd);
        } else {
            hwnd->surface = std::make_unique<QImage>(std::max(nWidth, 1), std::max(nHeight, 1), QImage::Format_RGB32);
            hwnd->surface->fill(Qt::white);
            topLevels().push_back(hwnd);
        }
        ++it->second.windows;
        liveWindows().insert(hwnd);
    }
    joinMessageQueue();
    handset::ensureMessageQueue();

    CREATESTRUCTW cs{lpParam, hInstance, hMenu, hWndParent, nHeight, nWidth, y, x,
                     static_cast<LONG>(dwStyle), lpWindowName, lpClassName, dwExStyle};
    if (SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (dwStyle & WS_VISIBLE)
        ShowWindow(hwnd, SW_SHOW);
    return hwnd;
}

HWND CreateWindow(LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int x, int y, int nWidth,
                  int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam)
{
    return CreateWindowEx(0, lpClassName, lpWindowName, dwStyle, x, y, nWidth, nHeight, hWndParent, hMenu,
                          hInstance, lpParam);
}

BOOL DestroyWindow(HWND hWnd)
{
    if (!isLive(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    SendMessage(hWnd, WM_DESTROY, 0, 0);
    const std::vector<HWND> children = hWnd->children;
    for (HWND child : children)
        DestroyWindow(child);
    std::lock_guard lock(gMutex);
    // The record stays allocated, dead, so that a handle kept by anyone (a
    // message still in a queue) can never name another window.
    hWnd->alive = false;
    liveWindows().erase(hWnd);
    if (hWnd->parent) {
        auto& siblings = hWnd->parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), hWnd), siblings.end());
    } else {
        auto& list = topLevels();
        list.erase(std::remove(list.begin(), list.end(), hWnd), list.end());
    }
    hWnd->surface.reset();
    hWnd->children.clear();
    const auto it = classes().find(handset::foldCase(hWnd->className));
    if (it != classes().end())
        --it->second.windows;
    return TRUE;
}

BOOL IsWindow(HWND hWnd)
{
    return isLive(hWnd) ? TRUE : FALSE;
}

LRESULT DefWindowProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (!isLive(hWnd))
        return 0;
    switch (Msg) {
    case WM_ERASEBKGND: {
        if (!hWnd->background)
            return 0;
        RECT rc;
        GetClientRect(hWnd, &rc);
        FillRect(reinterpret_cast<HDC>(wParam), &rc, hWnd->background);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hWnd, &ps);
        EndPaint(hWnd, &ps);
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_SETTEXT:
        hWnd->title = view(reinterpret_cast<LPCWSTR>(lParam));
        return TRUE;
    case WM_GETTEXT:
        return GetWindowText(hWnd, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    default:
        return 0;
    }
}

LRESULT CallWindowProc(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LONG_PTR SetWindowLong(HWND hWnd, int nIndex, LONG_PTR dwNewLong)
{
    if (!isLive(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR previous = 0;
    switch (nIndex) {
    case GWL_WNDPROC:
        if (!dwNewLong) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        previous = reinterpret_cast<LONG_PTR>(hWnd->proc);
        hWnd->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        return previous;
    case GWL_STYLE:
        previous = hWnd->style;
        hWnd->style = static_cast<DWORD>(dwNewLong);
        return previous;
    case GWL_USERDATA:
        previous = hWnd->userData;
        hWnd->userData = dwNewLong;
        return previous;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

LONG_PTR GetWindowLong(HWND hWnd, int nIndex)
{
    if (!isLive(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (nIndex) {
    case GWL_WNDPROC:
        return reinterpret_cast<LONG_PTR>(hWnd->proc);
    case GWL_STYLE:
        return hWnd->style;
    case GWL_USERDATA:
        return hWnd->userData;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
}

LRESULT SendMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (hWnd == HWND_BROADCAST) {
        for (HWND top : handset::topLevelWindows())
            SendMessage(top, Msg, wParam, lParam);
        if (Msg == WM_WININICHANGE && wParam == kTodayReload)
            handset::window::tellTodayScreen(true);
        return 0;
    }
    if (!isLive(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return hWnd->proc(hWnd, Msg, wParam, lParam);
}

BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    if (hWnd == HWND_BROADCAST) {
        for (HWND top : handset::topLevelWindows())
            PostMessage(top, Msg, wParam, lParam);
        if (Msg == WM_WININICHANGE && wParam == kTodayReload)
            handset::window::tellTodayScreen(false);
        return TRUE;
    }
    if (!isLive(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return handset::postQueuedMessage(hWnd->thread, hWnd, Msg, wParam, lParam) ? TRUE : FALSE;
}

BOOL ShowWindow(HWND hWnd, int nCmdShow)
{
    if (!isLive(hWnd))
        return FALSE;
    const BOOL was = hWnd->visible ? TRUE : FALSE;
    hWnd->visible = nCmdShow != SW_HIDE;
    if (hWnd->visible)
        hWnd->style |= WS_VISIBLE;
    else
        hWnd->style &= ~WS_VISIBLE;
    if (hWnd->visible && !was)
        InvalidateRect(hWnd, nullptr, TRUE);
    return was;
}

BOOL UpdateWindow(HWND hWnd)
{
    if (!isLive(hWnd))
        return FALSE;
    if (hWnd->visible && hWnd->needsPaint)
        SendMessage(hWnd, WM_PAINT, 0, 0);
    // A parent paints over its children's places; they paint after it.
    const std::vector<HWND> children = hWnd->children;
    for (HWND child : children)
        UpdateWindow(child);
    return TRUE;
}

BOOL InvalidateRect(HWND hWnd, LPCRECT, BOOL bErase)
{
    if (!isLive(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    markForPaint(hWnd, bErase != FALSE);
    // One WM_PAINT waits at most; painting covers the window's whole area.
    handset::postQueuedMessage(hWnd->thread, hWnd, WM_PAINT, 0, 0, handset::Coalesce::Yes);
    return TRUE;
}

BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint)
{
    if (!isLive(hWnd))
        return FALSE;
    {
        std::lock_guard lock(gMutex);
        hWnd->rect = {X, Y, X + std::max(nWidth, 0), Y + std::max(nHeight, 0)};
        if (!hWnd->parent) {
            auto surface = std::make_unique<QImage>(std::max(nWidth, 1), std::max(nHeight, 1), QImage::Format_RGB32);
            surface->fill(Qt::white);
            hWnd->surface = std::move(surface);
        }
    }
    SendMessage(hWnd, WM_SIZE, 0, MAKELPARAM(nWidth, nHeight));
    if (bRepaint)
        InvalidateRect(hWnd, nullptr, TRUE);
    return TRUE;
}

BOOL GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    if (!isLive(hWnd) || !lpRect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    QPoint origin;
    handset::window::surfaceOwner(hWnd, origin);
    const LONG width = hWnd->rect.right - hWnd->rect.left;
    const LONG height = hWnd->rect.bottom - hWnd->rect.top;
    if (!hWnd->parent)
        origin = QPoint(hWnd->rect.left, hWnd->rect.top);
    *lpRect = {origin.x(), origin.y(), origin.x() + width, origin.y() + height};
    return TRUE;
}

BOOL GetClientRect(HWND hWnd, LPRECT lpRect)
{
    if (!isLive(hWnd) || !lpRect) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *lpRect = {0, 0, hWnd->rect.right - hWnd->rect.left, hWnd->rect.bottom - hWnd->rect.top};
    return TRUE;
}

HWND GetParent(HWND hWnd)
{
    return isLive(hWnd) ? hWnd->parent : nullptr;
}

int GetWindowText(HWND hWnd, LPWSTR lpString, int nMaxCount)
{
    if (!isLive(hWnd) || !lpString || nMaxCount <= 0)
        return 0;
    const int count = std::min<int>(static_cast<int>(hWnd->title.size()), nMaxCount - 1);
    std::copy_n(hWnd->title.data(), count, lpString);
    lpString[count] = 0;
    return count;
}

namespace handset {

std::vector<HWND> topLevelWindows()
{
    std::lock_guard lock(gMutex);
    return topLevels();
}

std::u16string paintedText(HWND hWnd)
{
    return window::isLive(hWnd) ? hWnd->painted : std::u16string();
}

int pumpMessages()
{
    int count = 0;
    MSG msg;
    while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        DispatchMessage(&msg);
        ++count;
    }
    return count;
}

}  // namespace handset
