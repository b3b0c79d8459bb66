// The phone's UI framework for programs with dialogs, on Qt Widgets: an
// application object, full-screen modal dialogs built from DIALOG
// templates, property sheets with their pages, the shell's navigation bar
// and soft-key menu bars built from MENU resources, and the controls a
// template names (labels, group boxes, buttons, check boxes, combo boxes,
// list boxes, the time picker, pictures).
//
// The names and contracts are those of the phone's framework (CWinApp,
// CDialog, CPropertySheet, ...) and shell (SHCreateMenuBar, SHSetNavBarText,
// SHDoneButton, SHInitExtraControls). Every framework window is also a
// window of handset/window.h (m_hWnd), so SendMessage, PostMessage and
// HWND_BROADCAST reach it; its procedure is CWnd::WindowProc. Each control
// is a Qt widget whose object name is its control id in decimal, so a test
// finds it with findChild<QComboBox*>("1014").
//
// The form: 240 x 320 logical pixels (Qt scales them on high-density
// displays; QT_SCALE_FACTOR scales them further). From the top: the
// navigation bar (kNavBarHeight, the title and the OK or close button), the
// dialog's client area (template coordinates start at its top left corner,
// which is at screen y = kNavBarHeight), for a sheet the tab bar
// (kTabBarHeight), and the soft-key menu bar (kMenuBarHeight).
#pragma once

#include <handset/gdi.h>
#include <handset/msgbox.h>
#include <handset/resources.h>
#include <handset/shell.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QWidget;
class QEventLoop;
class CMenu;
class CFont;
class CDC;
class CBitmap;
class CPropertySheet;
class CPen;
class CBrush;

using INT_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;

// Messages of the framework beyond those of handset/window.h.
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_SETFONT = 0x0030;
constexpr UINT WM_GETFONT = 0x0031;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_HELP = 0x0053;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_INITMENUPOPUP = 0x0117;

// WM_SIZE kinds.
constexpr UINT SIZE_RESTORED = 0;
constexpr UINT SIZE_MINIMIZED = 1;

// Dialog results are the message boxes' answers (IDOK, IDCANCEL: handset/msgbox.h).
// The id of a control that has none:
constexpr int IDC_STATIC = -1;

// Notification codes in HIWORD(wParam) of WM_COMMAND from a control.
constexpr WORD BN_CLICKED = 0;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD LBN_SELCHANGE = 1;
constexpr WORD LBN_DBLCLK = 2;
// A tap on a static control made with SS_NOTIFY (the template's NOTIFY flag).
constexpr WORD STN_CLICKED = 0;
constexpr DWORD SS_NOTIFY = 0x00000100;
// The text of an edit control changed (by the person or by SetWindowText).
constexpr WORD EN_CHANGE = 0x0300;

// Combo box messages.
constexpr UINT CB_FINDSTRING = 0x014C;

constexpr int CB_ERR = -1;
constexpr int LB_ERR = -1;

// Check box states.
constexpr int BST_UNCHECKED = 0;
constexpr int BST_CHECKED = 1;

// CheckMenuItem and menu item flags.
constexpr UINT MF_BYCOMMAND = 0x0000;
constexpr UINT MF_UNCHECKED = 0x0000;
constexpr UINT MF_ENABLED = 0x0000;
constexpr UINT MF_STRING = 0x0000;
constexpr UINT MF_GRAYED = 0x0001;
constexpr UINT MF_CHECKED = 0x0008;
constexpr UINT MF_POPUP = 0x0010;
constexpr UINT MF_SEPARATOR = 0x0800;
constexpr UINT MF_BYPOSITION = 0x0400;

// Owner drawing.
constexpr UINT ODT_BUTTON = 4;
constexpr UINT ODT_LISTVIEW = 102;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr UINT ODS_FOCUS = 0x0010;

struct DRAWITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemAction;
    UINT itemState;
    HWND hwndItem;
    HDC hDC;
    RECT rcItem;
    DWORD_PTR itemData;
};
using LPDRAWITEMSTRUCT = DRAWITEMSTRUCT*;

// The row height request of an owner-drawn list view (fixed rows): the
// owner fills itemHeight.
struct MEASUREITEMSTRUCT {
    UINT CtlType;
    UINT CtlID;
    UINT itemID;
    UINT itemWidth;
    UINT itemHeight;
    DWORD_PTR itemData;
};
using LPMEASUREITEMSTRUCT = MEASUREITEMSTRUCT*;

// WM_NOTIFY: lParam points at the notification, which starts with this header.
struct NMHDR {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};
using LPNMHDR = NMHDR*;
// Notification codes (negative numbers, as UINT).
constexpr UINT NM_CLICK = static_cast<UINT>(-2);
constexpr UINT NM_RETURN = static_cast<UINT>(-4);

// A list view's click: the row and column tapped (-1 when none).
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem;
    int iSubItem;
    UINT uNewState;
    UINT uOldState;
    UINT uChanged;
    POINT ptAction;
    LPARAM lParam;
    UINT uKeyFlags;
};

struct HELPINFO {
    UINT cbSize;
    int iContextType;
    int iCtrlId;
    HANDLE hItemHandle;
    DWORD_PTR dwContextId;
    POINT MousePos;
};
using LPHELPINFO = HELPINFO*;

// Font quality (LOGFONT lfQuality).
constexpr BYTE DEFAULT_QUALITY = 0;
constexpr BYTE ANTIALIASED_QUALITY = 4;

// ---- The shell (aygshell) ----------------------------------------------------

// The heights of the form's bars, in logical pixels.
constexpr int kNavBarHeight = 25;
constexpr int kTabBarHeight = 24;
constexpr int kMenuBarHeight = 26;
constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;

struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;   // the window that gets the bar's WM_COMMAND and WM_INITMENUPOPUP
    DWORD dwFlags;
    UINT nToolBarId;   // the MENU resource
    HINSTANCE hInstRes;  // its module; null: the program
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;       // out: the bar
    COLORREF clrBk;
};
using PSHMENUBARINFO = SHMENUBARINFO*;

// Messages to a menu bar.
constexpr UINT SHCMBM_GETMENU = WM_USER + 402;      // the bar's HMENU
constexpr UINT SHCMBM_GETSUBMENU = WM_USER + 403;   // lParam: a top-level item's position; its popup

// SHDoneButton states.
constexpr DWORD SHDB_SHOW = 0x0001;
constexpr DWORD SHDB_HIDE = 0x0002;

// Makes the soft-key menu bar of the MENU resource nToolBarId for the
// window hwndParent (a dialog or a property page): the first top-level
// item is the left soft key, the second the right one; a command item sends
// WM_COMMAND (its id, lParam 0) to hwndParent, a popup first sends it
// WM_INITMENUPOPUP (the popup's HMENU, its index) and then opens. The bar is
// shown at the bottom of hwndParent's form while hwndParent is the form's
// current page or the form itself. FALSE, with hwndMB null, for a bad block
// (cbSize), a window that is not a framework window, or a missing resource.
BOOL SHCreateMenuBar(SHMENUBARINFO* pmbi);

// Readies the shell's extra controls; nothing to ready here. TRUE.
BOOL SHInitExtraControls();

// Sets the title shown in the navigation bar. The bar is the device's: one
// title, shown by every form of the program, as the phone's one navigation
// bar shows it; a dialog's caption becomes the title when it opens, and its
// opener sets its own title back when it closes. FALSE for a null text.
BOOL SHSetNavBarText(HWND hwndRequester, LPCWSTR pszText);

// Shows (SHDB_SHOW) or hides (SHDB_HIDE) the OK button of hwnd's form. A form
// without OK offers the close button (X), which minimises the form: its
// window gets WM_SIZE with SIZE_MINIMIZED. FALSE for a window that is not a
// framework window.
BOOL SHDoneButton(HWND hwndRequester, DWORD dwState);

// Sets (MF_CHECKED) or clears the check mark of the item uIDCheckItem (a
// command id with MF_BYCOMMAND, searched in the popups below too; an index
// with MF_BYPOSITION). The previous state (MF_CHECKED or MF_UNCHECKED), or
// (DWORD)-1 when there is no such item.
DWORD CheckMenuItem(HMENU hmenu, UINT uIDCheckItem, UINT uCheck);

// The state of the item uId (MF_BYCOMMAND: a command id, searched in the
// popups below too; MF_BYPOSITION: an index): MF_CHECKED, MF_GRAYED,
// MF_SEPARATOR, MF_POPUP as they apply; (UINT)-1 when there is no such item.
UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags);

// The menu's popup at position nPos; null when that item is not a popup.
HMENU GetSubMenu(HMENU hMenu, int nPos);
// The number of items of the menu, -1 for a bad handle.
int GetMenuItemCount(HMENU hMenu);
// The id of the item at nPos; (UINT)-1 for a popup, 0 for a separator.
UINT GetMenuItemID(HMENU hMenu, int nPos);

// The child control of hDlg with the id nIDDlgItem; null when there is none.
HWND GetDlgItem(HWND hDlg, int nIDDlgItem);
// The control id of hwndCtl, 0 for a window without one.
int GetDlgCtrlID(HWND hwndCtl);

// ---- Framework classes ---------------------------------------------------------

// A font: a LOGFONT and its Qt font.
class CFont {
public:
    CFont() = default;
    ~CFont();
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    // Makes the font from its description (deleting the one held). FALSE for null.
    BOOL CreateFontIndirect(const LOGFONTW* lpLogFont);
    // Copies the description. FALSE when no font is held.
    BOOL GetLogFont(LOGFONTW* pLogFont) const;
    BOOL DeleteObject();
    HFONT m_hObject = nullptr;
    operator HFONT() const { return m_hObject; }
};

// A bitmap resource (a BITMAP line of the module's .res file).
class CBitmap {
public:
    CBitmap() = default;
    ~CBitmap();
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;
    // Loads bitmap nIDResource of the program (deleting the one held). FALSE
    // when there is no such bitmap or it cannot be decoded.
    BOOL LoadBitmap(UINT nIDResource);
    BOOL DeleteObject();
    // Fills the bitmap's size; 0 when no bitmap is held.
    int GetBitmap(BITMAP* pBitMap) const;
    HBITMAP m_hObject = nullptr;
    operator HBITMAP() const { return m_hObject; }
};

// A pen (a solid line of a width and colour).
class CPen {
public:
    CPen() = default;
    CPen(int nPenStyle, int nWidth, COLORREF crColor) { CreatePen(nPenStyle, nWidth, crColor); }
    ~CPen() { DeleteObject(); }
    CPen(const CPen&) = delete;
    CPen& operator=(const CPen&) = delete;
    BOOL CreatePen(int nPenStyle, int nWidth, COLORREF crColor);
    BOOL DeleteObject();
    HPEN m_hObject = nullptr;
    operator HPEN() const { return m_hObject; }
};

// A solid brush.
class CBrush {
public:
    CBrush() = default;
    explicit CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }
    ~CBrush() { DeleteObject(); }
    CBrush(const CBrush&) = delete;
    CBrush& operator=(const CBrush&) = delete;
    BOOL CreateSolidBrush(COLORREF crColor);
    BOOL DeleteObject();
    HBRUSH m_hObject = nullptr;
    operator HBRUSH() const { return m_hObject; }
};

// A device context (a thin holder of an HDC).
class CDC {
public:
    CDC() = default;
    explicit CDC(HDC hdc) : m_hDC(hdc) {}
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    // A memory context compatible with pDC (null: the screen). FALSE on error.
    BOOL CreateCompatibleDC(CDC* pDC);
    BOOL DeleteDC();
    // Selects a bitmap; the previously selected one (which the caller puts back).
    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
    HGDIOBJ SelectObject(CBitmap* bitmap) { return ::SelectObject(m_hDC, bitmap ? bitmap->m_hObject : nullptr); }
    HGDIOBJ SelectObject(CFont* font) { return ::SelectObject(m_hDC, font ? font->m_hObject : nullptr); }
    HGDIOBJ SelectObject(CPen* pen) { return ::SelectObject(m_hDC, pen ? pen->m_hObject : nullptr); }
    // The font selected now, as an object the context keeps (valid until the
    // next call); null for a bad context.
    CFont* GetCurrentFont();
    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int nSavedDC) { return ::RestoreDC(m_hDC, nSavedDC); }
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    POINT MoveTo(int x, int y)
    {
        POINT previous{};
        ::MoveToEx(m_hDC, x, y, &previous);
        return previous;
    }
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    void FillRect(LPCRECT lpRect, CBrush* pBrush) { ::FillRect(m_hDC, lpRect, pBrush ? pBrush->m_hObject : nullptr); }
    // Fills the rectangle with a colour (and sets the background colour to it).
    void FillSolidRect(LPCRECT lpRect, COLORREF clr);
    int DrawText(const std::u16string& text, LPRECT lpRect, UINT nFormat)
    {
        return ::DrawText(m_hDC, text.c_str(), static_cast<int>(text.size()), lpRect, nFormat);
    }
    // The size of the text's line in the selected font.
    SIZE GetTextExtent(const std::u16string& text) const;
    int GetDeviceCaps(int nIndex) const { return ::GetDeviceCaps(m_hDC, nIndex); }
    BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop)
    {
        return ::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, dwRop);
    }
    // A temporary holder of a context the caller does not own (not deleted
    // with the holder): it lives until the message being handled is.
    static CDC* FromHandle(HDC hdc);
    HDC GetSafeHdc() const { return m_hDC; }
    HDC m_hDC = nullptr;
    bool m_owned = false;

private:
    std::unique_ptr<CFont> m_currentFont;
};

class CWnd;

// The context of a window's painting (BeginPaint and EndPaint), for OnPaint.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
    PAINTSTRUCT m_ps{};

private:
    HWND m_hWnd = nullptr;
};

// A context of a window's client area (GetDC and ReleaseDC).
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* pWnd);
    ~CClientDC() override;

private:
    HWND m_hWnd = nullptr;
};

// A menu (a MENU resource or one of its popups).
class CMenu {
public:
    CMenu() = default;
    explicit CMenu(HMENU menu) : m_hMenu(menu) {}
    DWORD CheckMenuItem(UINT nIDCheckItem, UINT nCheck) { return ::CheckMenuItem(m_hMenu, nIDCheckItem, nCheck); }
    CMenu* GetSubMenu(int nPos);
    int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
    // Loads a MENU resource of the program; the menu lives until the program ends.
    BOOL LoadMenu(UINT nIDResource);
    static CMenu* FromHandle(HMENU menu);
    HMENU m_hMenu = nullptr;
    operator HMENU() const { return m_hMenu; }
};

// A window of the framework.
class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    // The framework window of a handle; null for any other window.
    static CWnd* FromHandle(HWND hwnd);
    // The window that has the keyboard focus; null when none of the framework's has it.
    static CWnd* GetFocus();

    HWND GetSafeHwnd() const { return m_hWnd; }
    // The child control with the id; null when there is none.
    CWnd* GetDlgItem(int nID) const;
    int GetDlgCtrlID() const;
    CWnd* GetParent() const;

    void SetWindowText(LPCWSTR text);
    std::u16string GetWindowText() const;
    int GetWindowTextLength() const;

    // TRUE when it was visible before.
    BOOL ShowWindow(int nCmdShow);
    BOOL IsWindowVisible() const;
    // TRUE when it was disabled before.
    BOOL EnableWindow(BOOL bEnable = TRUE);
    BOOL IsWindowEnabled() const;
    // The window that had the focus before.
    CWnd* SetFocus();

    // The font the window draws its text with; it stays the window's.
    CFont* GetFont() const;
    // Draws the text with this font from now on; the caller keeps the font alive.
    void SetFont(CFont* pFont, BOOL bRedraw = TRUE);

    // Position in the parent's client coordinates. A combo box keeps its
    // own height and takes nHeight as the height of its dropped-down list.
    void MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint = TRUE);
    void MoveWindow(LPCRECT lpRect, BOOL bRepaint = TRUE);
    // Rectangle on the screen (the form's top left corner is (0, 0)).
    void GetWindowRect(LPRECT lpRect) const;
    void GetClientRect(LPRECT lpRect) const;
    void ScreenToClient(LPRECT lpRect) const;
    void ScreenToClient(POINT* lpPoint) const;
    void Invalidate(BOOL bErase = TRUE);
    void UpdateWindow();

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    // A timer of this window: WM_TIMER with nIDEvent comes to OnTimer every
    // nElapse milliseconds (while the program's loop or a modal loop runs);
    // setting the same id again restarts it. nIDEvent, 0 without a window.
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer = nullptr);
    BOOL KillTimer(UINT_PTR nIDEvent);

    // Makes this object the framework object of the parent's control nID
    // (whose messages and drawing then come to this object's virtual
    // functions). FALSE when the parent has no such control or this object
    // already has a window.
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);

    // The window's procedure: WM_COMMAND to OnCommand, WM_NOTIFY to OnNotify,
    // WM_SIZE to OnSize, WM_INITMENUPOPUP to OnInitMenuPopup, WM_HELP to
    // OnHelpInfo, WM_DRAWITEM and WM_MEASUREITEM to the control's DrawItem
    // and MeasureItem, WM_ERASEBKGND to OnEraseBkgnd, WM_TIMER to OnTimer,
    // WM_PAINT to OnPaint; everything else to DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // TRUE when the command was handled.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // TRUE when the notification was handled; *pResult is then the message's result.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) { return FALSE; }
    virtual void OnSize(UINT nType, int cx, int cy) {}
    virtual void OnTimer(UINT_PTR nIDEvent) {}
    // Painting: a dialog's client area is painted white, then its OnPaint
    // draws on it (with a CPaintDC), then its controls show over it. The
    // default validates the window.
    virtual void OnPaint();
    virtual void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu) {}
    // TRUE when the help request was handled.
    virtual BOOL OnHelpInfo(HELPINFO* pHelpInfo) { return FALSE; }
    // Owner drawing of an owner-draw control (its DrawItem is called with
    // the context of the control, of the control's size).
    virtual void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) {}
    // The row height request of an owner-drawn list view, for the control.
    virtual void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) {}
    // Erasing the background before owner drawing: fills it white; TRUE.
    virtual BOOL OnEraseBkgnd(CDC* pDC);

    // The Qt widget (for tests and for the framework's own code).
    QWidget* widget() const { return m_widget; }

    HWND m_hWnd = nullptr;

protected:
    friend struct CWndAccess;
    QWidget* m_widget = nullptr;
    mutable std::unique_ptr<CFont> m_font;  // GetFont's answer
};

// A control with its typed operations; the framework makes one for every
// control of a template, so GetDlgItem can be cast to the control's class.
class CStatic : public CWnd {
public:
    // For a PICTURE control: shows the bitmap; the previous one.
    HBITMAP SetBitmap(HBITMAP bitmap);
};

class CButton : public CWnd {
public:
    int GetCheck() const;
    void SetCheck(int nCheck);
};

class CComboBox : public CWnd {
public:
    // The new item's index (at the end, or in text order for a sorted one).
    int AddString(LPCWSTR text);
    int InsertString(int index, LPCWSTR text);
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const;
    // The selected index, CB_ERR when none.
    int GetCurSel() const;
    // The index selected, CB_ERR (and nothing selected) for a bad index.
    int SetCurSel(int index);
    int GetLBText(int index, std::u16string& text) const;
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    // The first item, after nStartAfter and wrapping round to it, whose text
    // begins with lpszString regardless of case; nStartAfter -1 (or any
    // index outside the list) searches from the top. CB_ERR when none does.
    int FindString(int nStartAfter, LPCWSTR lpszString) const;
    // CB_FINDSTRING (wParam: the start, lParam: the text) as FindString;
    // everything else as a window's.
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class CListBox : public CWnd {
public:
    // The new item's index: a sorted list box (SORT in the template) puts it
    // in its place by text (case-insensitive, after items that compare equal).
    int AddString(LPCWSTR text);
    int InsertString(int index, LPCWSTR text);
    // The number of items left, LB_ERR for a bad index.
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetText(int index, std::u16string& text) const;
    DWORD_PTR GetItemData(int index) const;
    int SetItemData(int index, DWORD_PTR data);
};

// A file of the device opened for reading (a read-only file class: the
// framework's programs only read files here). Device paths as in
// handset/device.h. Nothing throws: a failed read returns 0.
class CFile {
public:
    // Open flags. Only reading is offered; the sharing and type flags are
    // taken and mean nothing on this platform.
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,
        typeBinary = 0x8000,
    };

    CFile() = default;
    ~CFile();  // closes the file
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Opens the file (closing the one held). FALSE, with GetLastError set,
    // for a mode that writes or creates (ERROR_ACCESS_DENIED), a path
    // outside the device (ERROR_PATH_NOT_FOUND), a file that is not there or
    // a folder (ERROR_FILE_NOT_FOUND).
    BOOL Open(LPCWSTR lpszFileName, UINT nOpenFlags);
    // Reads up to nCount bytes from the current position; the number read,
    // 0 at the end, for a closed file or when reading fails.
    UINT Read(void* lpBuf, UINT nCount);
    // The file's size in bytes, 0 when none is open.
    ULONGLONG GetLength() const;
    void Close();

private:
    int m_fd = -1;
};

// The date and time picker, here for times of day.
class CDateTimeCtrl : public CWnd {
public:
    // A format of the picker's letters ("HH:mm", "h:mm tt"). FALSE for null.
    BOOL SetFormat(LPCWSTR format);
    // Fills the date and time shown (seconds are kept at 0). GDT_VALID.
    DWORD GetTime(LPSYSTEMTIME time) const;
    BOOL SetTime(const SYSTEMTIME* time);
};
constexpr DWORD GDT_VALID = 0;

// ---- The list view (report view) ------------------------------------------------

// Column formats.
constexpr int LVCFMT_LEFT = 0x0000;
constexpr int LVCFMT_RIGHT = 0x0001;
constexpr int LVCFMT_CENTER = 0x0002;

// Row states and GetNextItem's flags.
constexpr UINT LVIS_FOCUSED = 0x0001;
constexpr UINT LVIS_SELECTED = 0x0002;
constexpr UINT LVNI_ALL = 0x0000;
constexpr UINT LVNI_FOCUSED = 0x0001;
constexpr UINT LVNI_SELECTED = 0x0002;

// LVITEM masks.
constexpr UINT LVIF_TEXT = 0x0001;
constexpr UINT LVIF_PARAM = 0x0004;
constexpr UINT LVIF_STATE = 0x0008;

// GetItemRect parts.
constexpr int LVIR_BOUNDS = 0;

struct LVITEM {
    UINT mask;
    int iItem;
    int iSubItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    LPARAM lParam;
};

// The list view in report view, from a LISTVIEW line of a template: rows of
// columns of text, each row with its item data. Its flags: NOHEADER (no
// column titles), SINGLESEL, SHOWSELALWAYS (the selection shows without the
// focus too), SORT (rows kept in ascending text order), OWNERDRAW (fixed
// rows the object draws: the owner is asked the row height once with
// WM_MEASUREITEM, again after MoveWindow or SetFont, and each row is drawn
// by WM_DRAWITEM with ODT_LISTVIEW, the row's index, rectangle in the list's
// client area, item data and ODS_SELECTED/ODS_FOCUS), NOSCROLL (never a
// scroll bar), BORDER. A vertical scroll bar shows when the rows do not fit.
// Row text may hold line breaks. A tap on a row selects it, makes it the
// focused row and the selection mark, and then sends the owner WM_NOTIFY
// NM_CLICK (an NMITEMACTIVATE); the Enter key sends NM_RETURN (an NMHDR).
class CListCtrl : public CWnd {
public:
    // The new column's index; -1 for a bad index. nWidth -1: 100 pixels.
    int InsertColumn(int nCol, LPCWSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT, int nWidth = -1,
                     int nSubItem = -1);
    BOOL DeleteColumn(int nCol);
    BOOL SetColumnWidth(int nCol, int cx);
    int GetColumnWidth(int nCol) const;

    // The new row's index (its text in column 0); -1 on error. A sorted
    // list puts it in its place by text.
    int InsertItem(int nItem, LPCWSTR lpszItem);
    int InsertItem(const LVITEM* pItem);
    // Many rows at once (each its column-0 text and item data), as one
    // change of the list: a sorted list puts each in its place by text,
    // after the rows that compare equal, as one by one insertion would.
    // Every row then shows; the selection and its mark are cleared.
    struct ListRow {
        std::u16string text;
        DWORD_PTR data = 0;
    };
    BOOL InsertItems(const std::vector<ListRow>& rows);
    // Shows only the rows whose item data `shown` accepts (every row for an
    // empty function), in their order, without making or removing any: the
    // row numbers of every other call then count the shown rows, and rows
    // inserted meanwhile show. The selection and its mark are cleared.
    void FilterItems(const std::function<bool(DWORD_PTR)>& shown);
    BOOL DeleteItem(int nItem);
    BOOL DeleteAllItems();
    int GetItemCount() const;
    BOOL SetItemText(int nItem, int nSubItem, LPCWSTR lpszText);
    std::u16string GetItemText(int nItem, int nSubItem) const;
    // Copies at most nLen - 1 characters and a terminator; the length copied.
    int GetItemText(int nItem, int nSubItem, LPWSTR lpszText, int nLen) const;
    BOOL SetItemData(int nItem, DWORD_PTR dwData);
    DWORD_PTR GetItemData(int nItem) const;

    // LVIS_SELECTED and LVIS_FOCUSED of the row, as far as nMask asks.
    BOOL SetItemState(int nItem, UINT nState, UINT nMask);
    UINT GetItemState(int nItem, UINT nMask) const;
    // The next row after nItem (-1: from the start) with the LVNI_ flags; -1 when none.
    int GetNextItem(int nItem, int nFlags) const;
    // The selection mark: the row a tap or a key last chose; -1 when none.
    int GetSelectionMark() const;
    int SetSelectionMark(int iIndex);
    // The number of rows that fit in the list's height without scrolling.
    int GetCountPerPage() const;
    int GetTopIndex() const;
    BOOL EnsureVisible(int nItem, BOOL bPartialOK);
    BOOL GetItemRect(int nItem, LPRECT lpRect, UINT nCode) const;
};

// ---- The file-open and save-as dialogs --------------------------------------------

constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;  // save: ask before choosing a file that exists
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

struct OPENFILENAME {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;       // pairs of description and patterns, each ending in a null, then a null
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;        // 1 for the first pair
    LPWSTR lpstrFile;          // out: the full device path
    DWORD nMaxFile;
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCWSTR lpTemplateName;
};

// The framework's file-open dialog over the platform's own picker: a
// full-screen form that browses the device's file system (never the
// host's) from the initial folder (the folder of the last file chosen in
// this process, else "\My Documents\My Ringtones" when it exists, else
// "\My Documents"), listing the folders to open and the files that match
// the filter's patterns of the current type. A tap on a folder opens it, a
// tap on a file chooses it; OK (the soft key or the navigation bar's ok)
// confirms the chosen file, Cancel gives up.
//
// A script answers it first when there are answers (handset/pickers.h):
// then nothing shows, and the answer (a device path, or cancel) is logged on
// channel "picker".
class CFileDialog {
public:
    // lpszFilter in the framework's form: "Description|*.a;*.b|...||"; null
    // lists every file. With bOpenFileDialog FALSE it is the save-as
    // dialog: the person types a name (lpszFileName's, at first) in the
    // folder shown, lpszDefExt is added to a name without an extension, and
    // with OFN_OVERWRITEPROMPT a file that exists is chosen only after a Yes.
    // Both kinds take the scripted answers of handset/pickers.h first.
    CFileDialog(BOOL bOpenFileDialog, LPCWSTR lpszDefExt = nullptr, LPCWSTR lpszFileName = nullptr,
                DWORD dwFlags = 0, LPCWSTR lpszFilter = nullptr, CWnd* pParentWnd = nullptr);
    virtual ~CFileDialog();
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK with the chosen file, IDCANCEL.
    virtual INT_PTR DoModal();
    // The full device path chosen; empty before DoModal answered IDOK.
    std::u16string GetPathName() const;
    // The file's name without its folder.
    std::u16string GetFileName() const;

    OPENFILENAME m_ofn{};

private:
    std::u16string m_filter;  // with nulls, as m_ofn.lpstrFilter points at it
    std::u16string m_path;
    bool m_save = false;
    std::vector<WCHAR> m_fileBuffer;
    CWnd* m_pParentWnd = nullptr;
};

// ---- The picture picker ----------------------------------------------------------

// GetOpenFileNameEx's views.
constexpr DWORD OFN_EXFLAG_DETAILSVIEW = 0x00000000;
constexpr DWORD OFN_EXFLAG_THUMBNAILVIEW = 0x00010000;

// The file-open dialog's record with the phone's extended fields.
struct OPENFILENAMEEX {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;       // null: the pictures the imaging factory reads (JPEG, PNG, BMP, GIF)
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;
    LPWSTR lpstrFile;          // out: the full device path
    DWORD nMaxFile;
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;   // null: "\My Documents\My Pictures"
    LPCWSTR lpstrTitle;        // null: "Select Picture"
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    void* lpfnHook;
    LPCWSTR lpTemplateName;
    DWORD dwSortOrder;
    DWORD ExFlags;             // OFN_EXFLAG_THUMBNAILVIEW
};

// The platform's picture picker. With OFN_EXFLAG_THUMBNAILVIEW: a
// full-screen form showing the pictures of a folder as thumbnails with their
// names (an item view whose rows are the names, so `handset screen` lists
// them), the folders to open above them; a tap on a picture chooses it and
// ends the picker, Cancel gives up. Without the flag it is the file-open
// dialog's list. Scripted answers come first, as for CFileDialog. TRUE with
// the path in lpstrFile (as far as nMaxFile holds); FALSE when cancelled or
// for a null or short record.
BOOL GetOpenFileNameEx(OPENFILENAMEEX* ofn);

// The wait cursor while the object lives (a long job on the window thread).
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

// A modal full-screen dialog from a DIALOG template.
class CDialog : public CWnd {
public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Builds the form from the template, shows it, sends it WM_INITDIALOG
    // (OnInitDialog) and runs until EndDialog; then destroys the window (the
    // object stays). The result given to EndDialog; -1 when the template
    // cannot be loaded.
    virtual INT_PTR DoModal();
    // Ends the modal loop with the result once the current message is handled.
    void EndDialog(int nResult);

    // TRUE: the framework sets the focus on the first control that takes it.
    virtual BOOL OnInitDialog();
    // IDOK: EndDialog(IDOK). IDCANCEL: EndDialog(IDCANCEL).
    virtual void OnOK();
    virtual void OnCancel();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    UINT templateId() const { return m_nIDTemplate; }

protected:
    friend struct CWndAccess;
    UINT m_nIDTemplate = 0;
    CWnd* m_pParentWnd = nullptr;
    int m_result = 0;
    bool m_ended = false;
    std::vector<std::unique_ptr<CWnd>> m_controls;  // the framework's own control objects
    QEventLoop* m_loop = nullptr;
};

// A page of a property sheet; its template's caption is its tab title.
class CPropertyPage : public CDialog {
public:
    explicit CPropertyPage(UINT nIDTemplate, UINT nIDCaption = 0);
    // The page becomes the active one (after OnInitDialog the first time).
    // TRUE: it may be shown.
    virtual BOOL OnSetActive() { return TRUE; }
    // The page stops being the active one. TRUE: it may.
    virtual BOOL OnKillActive() { return TRUE; }
    // A command the page does not handle goes to its sheet.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // The init-popup notification of the page's menu bar goes to its sheet too.
    void OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu) override;
    // Help requests as well.
    BOOL OnHelpInfo(HELPINFO* pHelpInfo) override;
    CPropertySheet* GetSheet() const { return m_sheet; }
    // The tab title.
    const std::u16string& caption() const { return m_caption; }

private:
    friend class CPropertySheet;
    friend struct CWndAccess;
    CPropertySheet* m_sheet = nullptr;
    std::u16string m_caption;
    bool m_created = false;
};

// PressButton buttons.
constexpr int PSBTN_OK = 1;
constexpr int PSBTN_CANCEL = 2;

// A modal property sheet: its pages as tabs at the bottom, above the menu bar.
class CPropertySheet : public CWnd {
public:
    explicit CPropertySheet(LPCWSTR pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
    ~CPropertySheet() override;

    void AddPage(CPropertyPage* pPage);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    CPropertyPage* GetPage(int nPage) const;
    CPropertyPage* GetActivePage() const;
    int GetActiveIndex() const { return m_active; }
    // Makes the page active (creating its window the first time). FALSE for a bad index.
    BOOL SetActivePage(int nPage);
    // The tab bar.
    CWnd* GetTabControl() const;

    // Shows the sheet and runs until it ends; the result (IDOK or IDCANCEL).
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);
    // Ends the sheet as the button would (posted, so it happens after the
    // current message).
    void PressButton(int nButton);
    // After the framework's own initialisation (the first page active). TRUE.
    virtual BOOL OnInitDialog();
    // IDOK and IDCANCEL end the sheet.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    const std::u16string& caption() const { return m_caption; }

private:
    friend struct CWndAccess;
    std::u16string m_caption;
    CWnd* m_pParentWnd = nullptr;
    UINT m_initialPage = 0;
    std::vector<CPropertyPage*> m_pages;
    int m_active = -1;
    int m_result = 0;
    bool m_ended = false;
    QEventLoop* m_loop = nullptr;
    std::unique_ptr<CWnd> m_tabs;
};

// The program's application object: one per program, made as a global.
class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    // The start of the program. FALSE: no message loop runs, the program ends.
    virtual BOOL InitInstance() { return FALSE; }
    // The program's exit code.
    virtual int ExitInstance() { return 0; }
    // The message loop, until WM_QUIT; ExitInstance's result.
    virtual int Run();
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// The framework's WinMain: makes the Qt application (offscreen when there is
// no display), then runs the application object's InitInstance and, when it
// returns TRUE, Run. The program's exit code.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPWSTR lpCmdLine, int nCmdShow);

namespace handset::ui {

// Makes the Qt Widgets application object when there is none (offscreen
// when there is no display); programs and tests call it before any widget.
void ensureApplication();

// The title the navigation bar shows now.
std::u16string navigationBarText();

// The forms (dialogs and sheets) running modally, innermost last.
std::vector<CWnd*> modalForms();

// Every form shown is logged on channel "ui" as `shown "<caption>"`. With
// HANDSET_UI_CLOSE_WHEN_SHOWN set in the environment, each form is answered
// with Cancel (WM_COMMAND IDCANCEL) as soon as it shows: for scripts and
// benchmarks that start a program only to see it come up.
//
// Runs `action` once the next modal form has been shown and initialised,
// from inside its loop: how tests and scripts drive a modal dialog.
// Actions queue up in order, one per form shown.
void whenNextFormShown(std::function<void(CWnd* form)> action);

// The soft-key menu bar of a window (SHCreateMenuBar's), null when it has none.
HWND menuBarOf(HWND owner);

// Presses soft key 0 (left) or 1 (right) of the bar: a command item sends
// its command; a popup gets WM_INITMENUPOPUP sent to its owner and opens
// (not waiting). FALSE for a bad bar or key.
BOOL pressSoftKey(HWND menuBar, int key);

// Picks the item nID of the bar's menu, popups included, as a user would:
// the popups on the way get their WM_INITMENUPOPUP, then the command goes
// to the owner. FALSE when the bar has no such item.
BOOL chooseMenuItem(HWND menuBar, UINT nID);

// Taps the navigation bar's button of the form: OK when it is shown (WM_COMMAND
// IDOK), else the close button (the form minimises: WM_SIZE SIZE_MINIMIZED).
BOOL tapNavBarButton(HWND form);

// Saves what the form shows as a PNG file (a host path).
bool grabForm(CWnd* form, const std::string& hostPath);

}  // namespace handset::ui
