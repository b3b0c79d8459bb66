// Windows and their messages: window classes, child windows, window
// procedures, sending and posting, showing, invalidating and painting order.
//
// Windows belong to the thread that made them; their posted messages go
// through that thread's message queue (handset/msgqueue.h), which this layer
// joins as its window message dispatcher. SendMessage calls the window's
// procedure directly. A window without a parent is a top-level window and
// owns a drawing surface of its size; child windows draw on the surface of
// their top-level window, at their position. Invalidating a window posts it
// one WM_PAINT (never more than one waits), as the phone gives a window one
// WM_PAINT when its queue is otherwise empty.
#pragma once

#include <handset/msgqueue.h>
#include <handset/process.h>
#include <handset/types.h>

#include <string>
#include <vector>

struct HICON__;
using HICON = HICON__*;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
using LPRECT = RECT*;
using LPCRECT = const RECT*;

using WNDPROC = LRESULT (*)(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
using ATOM = WORD;

struct WNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
};
using WNDCLASS = WNDCLASSW;

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};
using CREATESTRUCT = CREATESTRUCTW;

// Window messages, with the phone's values.
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_WININICHANGE = 0x001A;
constexpr UINT WM_SETTINGCHANGE = WM_WININICHANGE;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;

// Virtual keys.
constexpr UINT VK_RETURN = 0x0D;
constexpr UINT VK_LEFT = 0x25;
constexpr UINT VK_UP = 0x26;
constexpr UINT VK_RIGHT = 0x27;
constexpr UINT VK_DOWN = 0x28;

// Window styles.
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_POPUP = 0x80000000;

// The position the system chooses: the parent's top left corner here.
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

// ShowWindow commands beyond those of handset/process.h.
constexpr int SW_SHOWNA = 8;

// SetWindowLong indexes.
constexpr int GWL_WNDPROC = -4;
constexpr int GWL_STYLE = -16;
constexpr int GWL_USERDATA = -21;

// Broadcast target of SendMessage and PostMessage: every top-level window.
inline const HWND HWND_BROADCAST = reinterpret_cast<HWND>(static_cast<std::intptr_t>(0xFFFF));

constexpr LONG ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr LONG ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr LONG ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr LONG ERROR_INVALID_WINDOW_HANDLE = 1400;

inline WORD LOWORD(LPARAM value) { return static_cast<WORD>(value & 0xFFFF); }
inline WORD HIWORD(LPARAM value) { return static_cast<WORD>((value >> 16) & 0xFFFF); }
inline LPARAM MAKELPARAM(int low, int high)
{
    return static_cast<LPARAM>((static_cast<DWORD>(high & 0xFFFF) << 16) | static_cast<DWORD>(low & 0xFFFF));
}

// Registers a window class of the calling process. Its atom, or 0 with
// ERROR_CLASS_ALREADY_EXISTS when a class of that name (case-insensitive)
// is registered, ERROR_INVALID_PARAMETER without a name or procedure.
ATOM RegisterClass(const WNDCLASSW* lpWndClass);

// Removes a class by name. FALSE with ERROR_CLASS_DOES_NOT_EXIST when there
// is none; a class with windows alive stays registered (ERROR_CLASS_HAS_WINDOWS).
BOOL UnregisterClass(LPCWSTR lpClassName, HINSTANCE hInstance);
constexpr LONG ERROR_CLASS_HAS_WINDOWS = 1412;

// Makes a window of class lpClassName: a child of hWndParent with WS_CHILD
// (then required), else a top-level window. CW_USEDEFAULT as x puts it at
// (0, 0); negative sizes count as 0. The procedure gets WM_CREATE with the
// CREATESTRUCT; -1 from it destroys the window and gives null. Null with
// ERROR_CANNOT_FIND_WND_CLASS for an unknown class.
HWND CreateWindowEx(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int x, int y,
                    int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam);
HWND CreateWindow(LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int x, int y, int nWidth,
                  int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam);

// Destroys the window and its children (children first get WM_DESTROY after
// their parent, as on the phone). FALSE for a handle that is not a window.
BOOL DestroyWindow(HWND hWnd);

// Whether hWnd names a live window.
BOOL IsWindow(HWND hWnd);

// The default handling: WM_ERASEBKGND fills the client area with the class
// brush (1), WM_PAINT validates the window, WM_CLOSE destroys it,
// WM_SETTEXT/WM_GETTEXT keep the title; 0 for everything else.
LRESULT DefWindowProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Calls a window procedure (one saved from SetWindowLong) for a message.
LRESULT CallWindowProc(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// GWL_WNDPROC, GWL_STYLE, GWL_USERDATA of a window; SetWindowLong returns the
// previous value (0 with ERROR_INVALID_WINDOW_HANDLE or ERROR_INVALID_PARAMETER).
LONG_PTR SetWindowLong(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
LONG_PTR GetWindowLong(HWND hWnd, int nIndex);

// Sends a message: calls the window's procedure and returns its result;
// HWND_BROADCAST sends it to every top-level window of the process, and the
// settings change WM_WININICHANGE 0xF2 also to the device's Today screen
// when it runs, returning once it has reloaded its items. 0 for a dead window.
LRESULT SendMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Posts a message to the queue of the window's thread; HWND_BROADCAST posts
// it to every top-level window of the process (WM_WININICHANGE 0xF2 also to
// the device's Today screen, without waiting). FALSE with
// ERROR_INVALID_WINDOW_HANDLE.
BOOL PostMessage(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// Shows (any command but SW_HIDE) or hides the window; the previous
// visibility. Showing invalidates it.
BOOL ShowWindow(HWND hWnd, int nCmdShow);

// Sends WM_PAINT now when the window needs painting.
BOOL UpdateWindow(HWND hWnd);

// Adds a rectangle (null: the whole client area) to the area to paint and
// posts WM_PAINT; bErase asks BeginPaint to send WM_ERASEBKGND first.
BOOL InvalidateRect(HWND hWnd, LPCRECT lpRect, BOOL bErase);

// Moves and sizes a window within its parent; invalidates it when bRepaint.
BOOL MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint);

// The window's rectangle on the screen (its top-level window's surface).
BOOL GetWindowRect(HWND hWnd, LPRECT lpRect);

// The client rectangle: (0, 0) to the window's width and height.
BOOL GetClientRect(HWND hWnd, LPRECT lpRect);

// The window's parent, null for a top-level window.
HWND GetParent(HWND hWnd);

// Copies the title (at most nMaxCount - 1 characters and a terminator);
// its length.
int GetWindowText(HWND hWnd, LPWSTR lpString, int nMaxCount);

// GetSystemMetrics indexes.
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CXVSCROLL = 2;
// The screen's width (240) and height (320), the width of a vertical scroll
// bar; 0 for another index.
int GetSystemMetrics(int nIndex);

namespace handset {

// The top-level windows of the process, in creation order.
std::vector<HWND> topLevelWindows();

// The text the window drew with DrawText during its last painting, the
// pieces joined by single spaces; empty when it has not painted.
std::u16string paintedText(HWND hWnd);

// Dispatches every message waiting in the calling thread's queue (the
// messages posted while doing so included) and returns their number; for
// programs and tests that drive windows without a message loop.
int pumpMessages();

}  // namespace handset
