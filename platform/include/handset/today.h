// The Today screen's plug-in protocol: the item record, the messages the
// Today screen sends to an item's window, and the requests an item sends
// to the Today screen (its parent window).
#pragma once

#include <handset/gdi.h>

constexpr int MAX_ITEMNAME = 32;

enum TODAYLISTITEMTYPE {
    tlitOwnerInfo = 0,
    tlitAppointments,
    tlitMail,
    tlitTasks,
    tlitCustom,
    tlitNil
};

struct TODAYLISTITEM {
    WCHAR szName[MAX_ITEMNAME];  // the registration's key name
    TODAYLISTITEMTYPE tlit;
    DWORD dwOrder;
    DWORD cyp;                   // the item's height in pixels, set by the item
    BOOL fEnabled;
    BOOL fOptions;
    DWORD grfFlags;              // the registration's "Flags"
    WCHAR szDLLPath[MAX_PATH];
    HINSTANCE hinstDLL;
    HWND hwndCustom;
    BOOL fSizeOnDraw;
    TODAYLISTITEM* ptliChild;
};
using PTODAYLISTITEM = TODAYLISTITEM*;

// The entry of an item library, its export with ordinal 240.
constexpr unsigned ORDINAL_INITIALIZEITEM = 240;
using PFNCUSTOMINITIALIZEITEM = HWND (*)(TODAYLISTITEM* ptli, HWND hwndParent);

// From the Today screen to an item's window.
constexpr UINT WM_TODAYCUSTOM_CLEARCACHE = WM_USER + 242;
constexpr UINT WM_TODAYCUSTOM_QUERYREFRESHCACHE = WM_USER + 243;  // wParam: the TODAYLISTITEM*
constexpr UINT WM_TODAYCUSTOM_RECEIVEDSELECTION = WM_USER + 244;  // wParam: the key that brought it
constexpr UINT WM_TODAYCUSTOM_LOSTSELECTION = WM_USER + 245;
constexpr UINT WM_TODAYCUSTOM_USERNAVIGATION = WM_USER + 246;     // wParam: the virtual key
constexpr UINT WM_TODAYCUSTOM_ACTION = WM_USER + 247;

// From an item to the Today screen.
constexpr UINT TODAYM_GETCOLOR = WM_USER + 100;       // wParam: TODAYCOLOR_*; result: COLORREF
constexpr UINT TODAYM_TOOKSELECTION = WM_USER + 101;  // wParam: the item window
constexpr UINT TODAYM_DRAWWATERMARK = WM_USER + 102;  // lParam: TODAYDRAWWATERMARKINFO*

constexpr DWORD TODAYCOLOR_TEXT = 0x10000004;
constexpr DWORD TODAYCOLOR_HIGHLIGHT = 0x10000022;
constexpr DWORD TODAYCOLOR_HIGHLIGHTEDTEXT = 0x10000023;

struct TODAYDRAWWATERMARKINFO {
    HDC hdc;
    RECT rc;
    HWND hwnd;
};

// The settings-change broadcast's parameter that makes the Today screen
// reload its items.
constexpr WPARAM SETTINGCHANGE_RESET = 0xF2;
