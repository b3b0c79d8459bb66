// Framework windows and controls: each CWnd is a Qt widget and a window of
// the window layer, whose procedure calls the object's WindowProc.
#include <algorithm>
#include <map>
#include <mutex>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTimeEdit>
#include <QVariant>

#include <handset/wstring.h>

#include "ui_internal.h"
#include "window_internal.h"

namespace {

constexpr char kCwndProperty[] = "handset_cwnd";
constexpr char kIdProperty[] = "controlId";
constexpr char kLogFontProperty[] = "handset_logfont";
constexpr char16_t kClassName[] = u"HandsetUiWindow";

LRESULT uiWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (auto* wnd = reinterpret_cast<CWnd*>(GetWindowLong(hwnd, GWL_USERDATA)))
        return wnd->WindowProc(message, wParam, lParam);
    return DefWindowProc(hwnd, message, wParam, lParam);
}

void registerWindowClass()
{
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &uiWindowProc;
        wc.lpszClassName = kClassName;
        RegisterClass(&wc);
    });
}

QString qstr(LPCWSTR text)
{
    return text ? QString::fromUtf16(text) : QString();
}

std::u16string ustr(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

LOGFONTW logFontOf(const QFont& font)
{
    LOGFONTW lf{};
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    lf.lfHeight = -pixels;
    lf.lfWeight = font.bold() ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    lf.lfQuality = (font.styleStrategy() & QFont::PreferAntialias) ? ANTIALIASED_QUALITY : DEFAULT_QUALITY;
    const std::u16string face = u"Tahoma";
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    return lf;
}

QString qtTimeFormat(std::u16string_view format)
{
    // The picker's letters are Qt's for hours and minutes; "tt"/"t" are its AM/PM marks.
    QString f = QString::fromUtf16(format.data(), static_cast<qsizetype>(format.size()));
    f.replace(QStringLiteral("tt"), QStringLiteral("AP"));
    f.replace(QRegularExpression(QStringLiteral("(?<!A)t")), QStringLiteral("A"));
    return f;
}

int findSorted(const QStringList& texts, const QString& text)
{
    // In text order, case-insensitive, after the items that compare equal.
    int index = 0;
    while (index < texts.size() && QString::compare(texts[index], text, Qt::CaseInsensitive) <= 0)
        ++index;
    return index;
}

}  // namespace

namespace handset::ui {

CWnd* cwndOf(const QWidget* widget)
{
    if (!widget)
        return nullptr;
    return static_cast<CWnd*>(widget->property(kCwndProperty).value<void*>());
}

void attach(CWnd* wnd, QWidget* widget, CWnd* parent, int controlId)
{
    registerWindowClass();
    CWndAccess::widget(wnd) = widget;
    widget->setProperty(kCwndProperty, QVariant::fromValue<void*>(wnd));
    widget->setProperty(kIdProperty, controlId);
    if (controlId != IDC_STATIC && widget->objectName().isEmpty())
        widget->setObjectName(QString::number(controlId));
    const DWORD style = parent && parent->m_hWnd ? WS_CHILD : WS_POPUP;
    wnd->m_hWnd = CreateWindowEx(0, kClassName, u"", style, 0, 0, widget->width(), widget->height(),
                                 style == WS_CHILD ? parent->m_hWnd : nullptr,
                                 reinterpret_cast<HMENU>(static_cast<std::intptr_t>(controlId)), nullptr, nullptr);
    SetWindowLong(wnd->m_hWnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(wnd));
}

void detach(CWnd* wnd)
{
    if (QWidget* widget = wnd->widget()) {
        // Children first, so that no object keeps a handle of a destroyed window.
        for (QWidget* child : widget->findChildren<QWidget*>())
            if (CWnd* c = cwndOf(child); c && c != wnd)
                detach(c);
        widget->setProperty(kCwndProperty, QVariant());
    }
    if (wnd->m_hWnd && IsWindow(wnd->m_hWnd)) {
        SetWindowLong(wnd->m_hWnd, GWL_USERDATA, 0);
        DestroyWindow(wnd->m_hWnd);
    }
    wnd->m_hWnd = nullptr;
    CWndAccess::widget(wnd) = nullptr;
}

QFont dialogFont()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    return font;
}

}  // namespace handset::ui

using handset::ui::cwndOf;

// ---- Fonts, bitmaps, contexts, menus -------------------------------------------

CFont::~CFont()
{
    DeleteObject();
}

BOOL CFont::CreateFontIndirect(const LOGFONTW* lpLogFont)
{
    if (!lpLogFont)
        return FALSE;
    DeleteObject();
    m_hObject = ::CreateFontIndirect(lpLogFont);
    return m_hObject ? TRUE : FALSE;
}

BOOL CFont::GetLogFont(LOGFONTW* pLogFont) const
{
    return m_hObject && pLogFont && ::GetObject(m_hObject, sizeof(LOGFONTW), pLogFont) == sizeof(LOGFONTW);
}

BOOL CFont::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    const BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

CBitmap::~CBitmap()
{
    DeleteObject();
}

BOOL CBitmap::LoadBitmap(UINT nIDResource)
{
    DeleteObject();
    m_hObject = ::LoadBitmap(nullptr, MAKEINTRESOURCE(nIDResource));
    return m_hObject ? TRUE : FALSE;
}

BOOL CBitmap::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    const BOOL ok = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return ok;
}

int CBitmap::GetBitmap(BITMAP* pBitMap) const
{
    return m_hObject ? ::GetObject(m_hObject, sizeof(BITMAP), pBitMap) : 0;
}

CDC::~CDC()
{
    if (m_owned)
        DeleteDC();
}

BOOL CDC::CreateCompatibleDC(CDC* pDC)
{
    if (m_owned)
        DeleteDC();
    m_hDC = ::CreateCompatibleDC(pDC ? pDC->m_hDC : nullptr);
    m_owned = m_hDC != nullptr;
    return m_hDC ? TRUE : FALSE;
}

BOOL CDC::DeleteDC()
{
    if (!m_hDC)
        return FALSE;
    const BOOL ok = ::DeleteDC(m_hDC);
    m_hDC = nullptr;
    m_owned = false;
    return ok;
}

CDC* CDC::FromHandle(HDC hdc)
{
    // Temporary holders, one per context ever asked for; they own nothing.
    static std::map<HDC, std::unique_ptr<CDC>> holders;
    auto& holder = holders[hdc];
    if (!holder)
        holder = std::make_unique<CDC>(hdc);
    return holder.get();
}

CMenu* CMenu::FromHandle(HMENU menu)
{
    static std::map<HMENU, std::unique_ptr<CMenu>> holders;
    if (!menu)
        return nullptr;
    auto& holder = holders[menu];
    if (!holder)
        holder = std::make_unique<CMenu>(menu);
    return holder.get();
}

CMenu* CMenu::GetSubMenu(int nPos)
{
    return FromHandle(::GetSubMenu(m_hMenu, nPos));
}

BOOL CMenu::LoadMenu(UINT nIDResource)
{
    static std::vector<std::unique_ptr<HMENU__>> loaded;
    auto menu = handset::ui::loadMenu(nullptr, nIDResource);
    if (!menu)
        return FALSE;
    m_hMenu = menu.get();
    loaded.push_back(std::move(menu));
    return TRUE;
}

// ---- CWnd ----------------------------------------------------------------------

CWnd::CWnd()
{
    handset::ui::ensureApplication();
}

CWnd::~CWnd()
{
    if (m_hWnd || m_widget)
        handset::ui::detach(this);
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return nullptr;
    // Only the framework's windows carry their object.
    WNDPROC proc = reinterpret_cast<WNDPROC>(GetWindowLong(hwnd, GWL_WNDPROC));
    if (proc != &uiWindowProc)
        return nullptr;
    return reinterpret_cast<CWnd*>(GetWindowLong(hwnd, GWL_USERDATA));
}

CWnd* CWnd::GetFocus()
{
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
        if (CWnd* wnd = cwndOf(w))
            return wnd;
    return nullptr;
}

CWnd* CWnd::GetDlgItem(int nID) const
{
    if (!m_widget)
        return nullptr;
    for (QObject* child : m_widget->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && w->property(kIdProperty).isValid() && w->property(kIdProperty).toInt() == nID)
            if (CWnd* wnd = cwndOf(w))
                return wnd;
    }
    return nullptr;
}

int CWnd::GetDlgCtrlID() const
{
    return m_widget ? m_widget->property(kIdProperty).toInt() : 0;
}

CWnd* CWnd::GetParent() const
{
    if (auto* page = dynamic_cast<const CPropertyPage*>(this))
        return page->GetSheet();
    if (auto* dialog = dynamic_cast<const CDialog*>(this))
        return CWndAccess::parentOf(const_cast<CDialog*>(dialog));
    if (!m_widget)
        return nullptr;
    for (QWidget* w = m_widget->parentWidget(); w; w = w->parentWidget())
        if (CWnd* wnd = cwndOf(w))
            return wnd;
    return nullptr;
}

void CWnd::SetWindowText(LPCWSTR text)
{
    const QString t = qstr(text);
    if (!m_widget)
        return;
    if (auto* label = qobject_cast<QLabel*>(m_widget); label && label->pixmap().isNull())
        label->setText(t);
    else if (auto* button = qobject_cast<QAbstractButton*>(m_widget))
        button->setText(t);
    else if (auto* group = qobject_cast<QGroupBox*>(m_widget))
        group->setTitle(t);
    else if (auto* edit = qobject_cast<QLineEdit*>(m_widget))
        edit->setText(t);
    else
        m_widget->window()->setWindowTitle(t);
}

std::u16string CWnd::GetWindowText() const
{
    if (!m_widget)
        return {};
    if (auto* label = qobject_cast<QLabel*>(m_widget))
        return ustr(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(m_widget))
        return ustr(button->text());
    if (auto* group = qobject_cast<QGroupBox*>(m_widget))
        return ustr(group->title());
    if (auto* edit = qobject_cast<QLineEdit*>(m_widget))
        return ustr(edit->text());
    if (auto* combo = qobject_cast<QComboBox*>(m_widget))
        return ustr(combo->currentText());
    return ustr(m_widget->window()->windowTitle());
}

int CWnd::GetWindowTextLength() const
{
    return static_cast<int>(GetWindowText().size());
}

BOOL CWnd::ShowWindow(int nCmdShow)
{
    if (!m_widget)
        return FALSE;
    const BOOL was = m_widget->isHidden() ? FALSE : TRUE;
    m_widget->setVisible(nCmdShow != SW_HIDE);
    return was;
}

BOOL CWnd::IsWindowVisible() const
{
    return m_widget && !m_widget->isHidden() && m_widget->isVisibleTo(m_widget->window()) ? TRUE : FALSE;
}

BOOL CWnd::EnableWindow(BOOL bEnable)
{
    if (!m_widget)
        return FALSE;
    const BOOL wasDisabled = m_widget->isEnabled() ? FALSE : TRUE;
    m_widget->setEnabled(bEnable != FALSE);
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const
{
    return m_widget && m_widget->isEnabled() ? TRUE : FALSE;
}

CWnd* CWnd::SetFocus()
{
    CWnd* previous = GetFocus();
    if (m_widget) {
        m_widget->window()->activateWindow();
        m_widget->setFocus(Qt::OtherFocusReason);
    }
    return previous;
}

CFont* CWnd::GetFont() const
{
    if (!m_widget)
        return nullptr;
    LOGFONTW lf{};
    const QVariant set = m_widget->property(kLogFontProperty);
    if (set.isValid() && set.toByteArray().size() == sizeof lf)
        std::memcpy(&lf, set.toByteArray().constData(), sizeof lf);
    else
        lf = logFontOf(m_widget->font());
    if (!m_font)
        m_font = std::make_unique<CFont>();
    m_font->CreateFontIndirect(&lf);
    return m_font.get();
}

void CWnd::SetFont(CFont* pFont, BOOL bRedraw)
{
    LOGFONTW lf{};
    if (!m_widget || !pFont || !pFont->GetLogFont(&lf))
        return;
    m_widget->setProperty(kLogFontProperty, QByteArray(reinterpret_cast<const char*>(&lf), sizeof lf));
    m_widget->setFont(handset::window::qtFont(lf));
    if (bRedraw)
        m_widget->update();
}

void CWnd::MoveWindow(int x, int y, int nWidth, int nHeight, BOOL bRepaint)
{
    if (!m_widget)
        return;
    if (auto* combo = qobject_cast<QComboBox*>(m_widget)) {
        // The closed box keeps its height; the rest is its dropped-down list.
        const int closed = m_widget->height();
        m_widget->setGeometry(x, y, nWidth, closed);
        const int row = std::max(1, combo->fontMetrics().height() + 4);
        combo->setMaxVisibleItems(std::max(1, (nHeight - closed) / row));
        combo->setProperty("droppedHeight", nHeight);
    } else {
        m_widget->setGeometry(x, y, nWidth, nHeight);
    }
    if (bRepaint)
        m_widget->update();
}

void CWnd::MoveWindow(LPCRECT lpRect, BOOL bRepaint)
{
    if (lpRect)
        MoveWindow(lpRect->left, lpRect->top, lpRect->right - lpRect->left, lpRect->bottom - lpRect->top, bRepaint);
}

void CWnd::GetWindowRect(LPRECT lpRect) const
{
    if (!lpRect)
        return;
    *lpRect = {};
    if (!m_widget)
        return;
    const QPoint origin = m_widget->isWindow() ? QPoint(0, 0) : m_widget->mapTo(m_widget->window(), QPoint(0, 0));
    *lpRect = {origin.x(), origin.y(), origin.x() + m_widget->width(), origin.y() + m_widget->height()};
}

void CWnd::GetClientRect(LPRECT lpRect) const
{
    if (lpRect)
        *lpRect = m_widget ? RECT{0, 0, m_widget->width(), m_widget->height()} : RECT{};
}

void CWnd::ScreenToClient(LPRECT lpRect) const
{
    if (!lpRect || !m_widget)
        return;
    const QPoint origin = m_widget->isWindow() ? QPoint(0, 0) : m_widget->mapTo(m_widget->window(), QPoint(0, 0));
    lpRect->left -= origin.x();
    lpRect->right -= origin.x();
    lpRect->top -= origin.y();
    lpRect->bottom -= origin.y();
}

void CWnd::ScreenToClient(POINT* lpPoint) const
{
    if (!lpPoint || !m_widget)
        return;
    const QPoint origin = m_widget->isWindow() ? QPoint(0, 0) : m_widget->mapTo(m_widget->window(), QPoint(0, 0));
    lpPoint->x -= origin.x();
    lpPoint->y -= origin.y();
}

void CWnd::Invalidate(BOOL)
{
    if (m_widget)
        m_widget->update();
}

void CWnd::UpdateWindow()
{
    if (m_widget)
        m_widget->repaint();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    if (m_hWnd || !pParent)
        return FALSE;
    CWnd* made = pParent->GetDlgItem(static_cast<int>(nID));
    if (!made || made == this)
        return FALSE;
    QWidget* widget = made->m_widget;
    m_hWnd = std::exchange(made->m_hWnd, nullptr);
    m_widget = std::exchange(made->m_widget, nullptr);
    widget->setProperty(kCwndProperty, QVariant::fromValue<void*>(this));
    SetWindowLong(m_hWnd, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
    widget->update();
    return TRUE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        return OnCommand(wParam, lParam);
    case WM_SIZE:
        OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(CMenu::FromHandle(reinterpret_cast<HMENU>(wParam)), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_HELP:
        return OnHelpInfo(reinterpret_cast<HELPINFO*>(lParam));
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
        CWnd* control = dis ? FromHandle(dis->hwndItem) : nullptr;
        if (!control)
            return FALSE;
        control->DrawItem(dis);
        return TRUE;
    }
    case WM_ERASEBKGND:
        return OnEraseBkgnd(CDC::FromHandle(reinterpret_cast<HDC>(wParam)));
    default:
        return DefWindowProc(m_hWnd, message, wParam, lParam);
    }
}

BOOL CWnd::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

BOOL CWnd::OnEraseBkgnd(CDC* pDC)
{
    RECT rc;
    GetClientRect(&rc);
    if (pDC)
        FillRect(pDC->m_hDC, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return TRUE;
}

// ---- Controls ----------------------------------------------------------------

HBITMAP CStatic::SetBitmap(HBITMAP bitmap)
{
    auto* label = qobject_cast<QLabel*>(m_widget);
    if (!label)
        return nullptr;
    auto previous = reinterpret_cast<HBITMAP>(label->property("handset_bitmap").value<void*>());
    const QImage* image = handset::window::bitmapImage(bitmap);
    label->setPixmap(image ? QPixmap::fromImage(*image) : QPixmap());
    label->setProperty("handset_bitmap", QVariant::fromValue<void*>(bitmap));
    return previous;
}

int CButton::GetCheck() const
{
    auto* button = qobject_cast<QAbstractButton*>(m_widget);
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int nCheck)
{
    if (auto* button = qobject_cast<QAbstractButton*>(m_widget))
        button->setChecked(nCheck == BST_CHECKED);
}

namespace {

QComboBox* comboOf(QWidget* w)
{
    return qobject_cast<QComboBox*>(w);
}
QListWidget* listOf(QWidget* w)
{
    return qobject_cast<QListWidget*>(w);
}
bool sorted(QWidget* w)
{
    return w && w->property("sorted").toBool();
}

}  // namespace

int CComboBox::AddString(LPCWSTR text)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || !text)
        return CB_ERR;
    int index = combo->count();
    if (sorted(combo)) {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        index = findSorted(texts, qstr(text));
    }
    const QSignalBlocker quiet(combo);
    const int selected = combo->currentIndex();
    combo->insertItem(index, qstr(text));
    // A combo box shows nothing until something is selected, as on the phone.
    combo->setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
    return index;
}

int CComboBox::InsertString(int index, LPCWSTR text)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || !text || index > combo->count())
        return CB_ERR;
    if (index < 0)
        index = combo->count();
    const QSignalBlocker quiet(combo);
    const int selected = combo->currentIndex();
    combo->insertItem(index, qstr(text));
    combo->setCurrentIndex(selected < 0 ? -1 : (selected >= index ? selected + 1 : selected));
    return index;
}

int CComboBox::DeleteString(UINT index)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || static_cast<int>(index) >= combo->count())
        return CB_ERR;
    const QSignalBlocker quiet(combo);
    combo->removeItem(static_cast<int>(index));
    return combo->count();
}

void CComboBox::ResetContent()
{
    if (QComboBox* combo = comboOf(m_widget)) {
        const QSignalBlocker quiet(combo);
        combo->clear();
    }
}

int CComboBox::GetCount() const
{
    QComboBox* combo = comboOf(m_widget);
    return combo ? combo->count() : CB_ERR;
}

int CComboBox::GetCurSel() const
{
    QComboBox* combo = comboOf(m_widget);
    return combo && combo->currentIndex() >= 0 ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int index)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo)
        return CB_ERR;
    const QSignalBlocker quiet(combo);
    if (index < 0 || index >= combo->count()) {
        combo->setCurrentIndex(-1);
        return CB_ERR;
    }
    combo->setCurrentIndex(index);
    return index;
}

int CComboBox::GetLBText(int index, std::u16string& text) const
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || index < 0 || index >= combo->count())
        return CB_ERR;
    text = ustr(combo->itemText(index));
    return static_cast<int>(text.size());
}

DWORD_PTR CComboBox::GetItemData(int index) const
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || index < 0 || index >= combo->count())
        return static_cast<DWORD_PTR>(CB_ERR);
    return static_cast<DWORD_PTR>(combo->itemData(index).toULongLong());
}

int CComboBox::SetItemData(int index, DWORD_PTR data)
{
    QComboBox* combo = comboOf(m_widget);
    if (!combo || index < 0 || index >= combo->count())
        return CB_ERR;
    combo->setItemData(index, QVariant::fromValue<qulonglong>(data));
    return 0;
}

int CListBox::AddString(LPCWSTR text)
{
    QListWidget* list = listOf(m_widget);
    if (!list || !text)
        return LB_ERR;
    int index = list->count();
    if (sorted(list)) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        index = findSorted(texts, qstr(text));
    }
    const QSignalBlocker quiet(list);
    list->insertItem(index, qstr(text));
    return index;
}

int CListBox::InsertString(int index, LPCWSTR text)
{
    QListWidget* list = listOf(m_widget);
    if (!list || !text || index > list->count())
        return LB_ERR;
    if (index < 0)
        index = list->count();
    const QSignalBlocker quiet(list);
    list->insertItem(index, qstr(text));
    return index;
}

int CListBox::DeleteString(UINT index)
{
    QListWidget* list = listOf(m_widget);
    if (!list || static_cast<int>(index) >= list->count())
        return LB_ERR;
    const QSignalBlocker quiet(list);
    delete list->takeItem(static_cast<int>(index));
    return list->count();
}

void CListBox::ResetContent()
{
    if (QListWidget* list = listOf(m_widget)) {
        const QSignalBlocker quiet(list);
        list->clear();
    }
}

int CListBox::GetCount() const
{
    QListWidget* list = listOf(m_widget);
    return list ? list->count() : LB_ERR;
}

int CListBox::GetCurSel() const
{
    QListWidget* list = listOf(m_widget);
    if (!list)
        return LB_ERR;
    const auto selected = list->selectedItems();
    return selected.isEmpty() ? LB_ERR : list->row(selected.front());
}

int CListBox::SetCurSel(int index)
{
    QListWidget* list = listOf(m_widget);
    if (!list)
        return LB_ERR;
    const QSignalBlocker quiet(list);
    if (index < 0 || index >= list->count()) {
        list->clearSelection();
        list->setCurrentRow(-1);
        return index == -1 ? LB_ERR : LB_ERR;
    }
    list->setCurrentRow(index);
    return index;
}

int CListBox::GetText(int index, std::u16string& text) const
{
    QListWidget* list = listOf(m_widget);
    if (!list || index < 0 || index >= list->count())
        return LB_ERR;
    text = ustr(list->item(index)->text());
    return static_cast<int>(text.size());
}

DWORD_PTR CListBox::GetItemData(int index) const
{
    QListWidget* list = listOf(m_widget);
    if (!list || index < 0 || index >= list->count())
        return static_cast<DWORD_PTR>(LB_ERR);
    return static_cast<DWORD_PTR>(list->item(index)->data(Qt::UserRole).toULongLong());
}

int CListBox::SetItemData(int index, DWORD_PTR data)
{
    QListWidget* list = listOf(m_widget);
    if (!list || index < 0 || index >= list->count())
        return LB_ERR;
    list->item(index)->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(data));
    return 0;
}

BOOL CDateTimeCtrl::SetFormat(LPCWSTR format)
{
    auto* edit = qobject_cast<QTimeEdit*>(m_widget);
    if (!edit || !format)
        return FALSE;
    edit->setDisplayFormat(qtTimeFormat(format));
    return TRUE;
}

DWORD CDateTimeCtrl::GetTime(LPSYSTEMTIME time) const
{
    auto* edit = qobject_cast<QTimeEdit*>(m_widget);
    if (!edit || !time)
        return static_cast<DWORD>(-1);
    const QDateTime when = edit->dateTime();
    *time = {};
    time->wYear = static_cast<WORD>(when.date().year());
    time->wMonth = static_cast<WORD>(when.date().month());
    time->wDay = static_cast<WORD>(when.date().day());
    time->wDayOfWeek = static_cast<WORD>(when.date().dayOfWeek() % 7);
    time->wHour = static_cast<WORD>(when.time().hour());
    time->wMinute = static_cast<WORD>(when.time().minute());
    return GDT_VALID;
}

BOOL CDateTimeCtrl::SetTime(const SYSTEMTIME* time)
{
    auto* edit = qobject_cast<QTimeEdit*>(m_widget);
    if (!edit || !time || time->wHour > 23 || time->wMinute > 59)
        return FALSE;
    edit->setTime(QTime(time->wHour, time->wMinute));
    return TRUE;
}

// ---- Menus and dialog items of the window layer ----------------------------------

namespace {

HMENU__::Item* findItem(HMENU__* menu, UINT id)
{
    for (auto& item : menu->items) {
        if (!(item.flags & (MF_POPUP | MF_SEPARATOR)) && item.id == id)
            return &item;
        if (item.popup)
            if (HMENU__::Item* found = findItem(item.popup.get(), id))
                return found;
    }
    return nullptr;
}

}  // namespace

DWORD CheckMenuItem(HMENU hmenu, UINT uIDCheckItem, UINT uCheck)
{
    if (!hmenu)
        return static_cast<DWORD>(-1);
    HMENU__::Item* item = nullptr;
    if (uCheck & MF_BYPOSITION) {
        if (uIDCheckItem < hmenu->items.size())
            item = &hmenu->items[uIDCheckItem];
    } else {
        item = findItem(hmenu, uIDCheckItem);
    }
    if (!item)
        return static_cast<DWORD>(-1);
    const DWORD previous = item->flags & MF_CHECKED;
    item->flags = (item->flags & ~MF_CHECKED) | (uCheck & MF_CHECKED);
    return previous;
}

UINT GetMenuState(HMENU hMenu, UINT uId, UINT uFlags)
{
    if (!hMenu)
        return static_cast<UINT>(-1);
    const HMENU__::Item* item = nullptr;
    if (uFlags & MF_BYPOSITION) {
        if (uId < hMenu->items.size())
            item = &hMenu->items[uId];
    } else {
        item = findItem(hMenu, uId);
    }
    return item ? item->flags : static_cast<UINT>(-1);
}

HMENU GetSubMenu(HMENU hMenu, int nPos)
{
    if (!hMenu || nPos < 0 || nPos >= static_cast<int>(hMenu->items.size()))
        return nullptr;
    return hMenu->items[static_cast<std::size_t>(nPos)].popup.get();
}

int GetMenuItemCount(HMENU hMenu)
{
    return hMenu ? static_cast<int>(hMenu->items.size()) : -1;
}

UINT GetMenuItemID(HMENU hMenu, int nPos)
{
    if (!hMenu || nPos < 0 || nPos >= static_cast<int>(hMenu->items.size()))
        return static_cast<UINT>(-1);
    const auto& item = hMenu->items[static_cast<std::size_t>(nPos)];
    if (item.popup)
        return static_cast<UINT>(-1);
    return (item.flags & MF_SEPARATOR) ? 0 : item.id;
}

HWND GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    CWnd* dialog = CWnd::FromHandle(hDlg);
    CWnd* item = dialog ? dialog->GetDlgItem(nIDDlgItem) : nullptr;
    return item ? item->m_hWnd : nullptr;
}

int GetDlgCtrlID(HWND hwndCtl)
{
    CWnd* wnd = CWnd::FromHandle(hwndCtl);
    return wnd ? wnd->GetDlgCtrlID() : 0;
}
