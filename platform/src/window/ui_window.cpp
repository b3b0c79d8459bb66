// Framework windows: each CWnd is a Qt widget and a window of the window
// layer, whose procedure calls the object's WindowProc.
#include <algorithm>
#include <mutex>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
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
    const handset::ui::TemporaryScope temporaries;
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

}  // namespace

namespace handset::ui {

QString qstr(LPCWSTR text)
{
    return text ? QString::fromUtf16(text) : QString();
}

QString qstr(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
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
using handset::ui::logFontOf;
using handset::ui::qstr;
using handset::ui::ustr;

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
    case WM_NOTIFY: {
        LRESULT result = 0;
        return OnNotify(wParam, lParam, &result) ? result : 0;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam);
        CWnd* control = dis ? FromHandle(dis->hwndItem) : nullptr;
        if (!control)
            return FALSE;
        control->DrawItem(dis);
        return TRUE;
    }
    case WM_MEASUREITEM: {
        // The request names its control by id, as on the phone.
        auto* mis = reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam);
        CWnd* control = mis ? GetDlgItem(static_cast<int>(mis->CtlID)) : nullptr;
        if (!control)
            return FALSE;
        control->MeasureItem(mis);
        return TRUE;
    }
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
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

void CWnd::OnPaint()
{
    DefWindowProc(m_hWnd, WM_PAINT, 0, 0);
}

UINT_PTR CWnd::SetTimer(UINT_PTR nIDEvent, UINT nElapse, TIMERPROC lpfnTimer)
{
    return m_hWnd ? ::SetTimer(m_hWnd, nIDEvent, nElapse, lpfnTimer) : 0;
}

BOOL CWnd::KillTimer(UINT_PTR nIDEvent)
{
    return m_hWnd ? ::KillTimer(m_hWnd, nIDEvent) : FALSE;
}

BOOL CWnd::OnEraseBkgnd(CDC* pDC)
{
    RECT rc;
    GetClientRect(&rc);
    if (pDC)
        FillRect(pDC->m_hDC, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return TRUE;
}

// ---- Dialog items of the window layer -----------------------------------------

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
