// The phone's screen of a dialog or sheet (navigation bar, client area,
// tabs, soft-key menu bar), the menu bars, and the shell functions on them.
#include <algorithm>
#include <set>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>

#include <handset/log.h>

#include "ui_internal.h"
#include "window_internal.h"

namespace handset::ui {
namespace {

std::u16string gNavText = u"";
std::set<Form*>& liveForms()
{
    static std::set<Form*> forms;
    return forms;
}

// The client area of a dialog: white, then what the dialog's own painting
// (WM_PAINT, on its window's surface) draws, then its controls.
class ClientArea : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        CWnd* owner = cwndOf(this);
        const HWND hwnd = owner ? owner->m_hWnd : nullptr;
        if (!hwnd || !IsWindow(hwnd) || !hwnd->surface)
            return;
        if (hwnd->surface->size() != size()) {
            hwnd->surface = std::make_unique<QImage>(size(), QImage::Format_RGB32);
            hwnd->rect.right = hwnd->rect.left + width();
            hwnd->rect.bottom = hwnd->rect.top + height();
        }
        hwnd->surface->fill(Qt::white);
        hwnd->needsPaint = true;
        ::SendMessage(hwnd, WM_PAINT, 0, 0);
        QPainter painter(this);
        painter.drawImage(0, 0, *hwnd->surface);
    }
};

bool offscreen()
{
    return QGuiApplication::platformName() == QLatin1String("offscreen") ||
           QGuiApplication::platformName() == QLatin1String("minimal");
}

}  // namespace

Form::Form(Kind kind, CWnd* owner) : QWidget(nullptr), m_kind(kind), m_owner(owner)
{
    liveForms().insert(this);
    setObjectName(QStringLiteral("form"));
    setFixedSize(kScreenWidth, kScreenHeight);
    setFont(dialogFont());
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    setPalette(palette);

    m_nav = new QWidget(this);
    m_nav->setObjectName(QStringLiteral("navbar"));
    m_nav->setGeometry(0, 0, kScreenWidth, kNavBarHeight);
    m_nav->setAutoFillBackground(true);
    QPalette navPalette = m_nav->palette();
    navPalette.setColor(QPalette::Window, QColor(0x10, 0x3C, 0x8C));
    navPalette.setColor(QPalette::WindowText, Qt::white);
    navPalette.setColor(QPalette::ButtonText, Qt::white);
    navPalette.setColor(QPalette::Button, QColor(0x10, 0x3C, 0x8C));
    m_nav->setPalette(navPalette);
    m_title = new QLabel(m_nav);
    m_title->setObjectName(QStringLiteral("navtitle"));
    m_title->setGeometry(6, 0, kScreenWidth - 46, kNavBarHeight);
    QFont titleFont = dialogFont();
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_navButton = new QToolButton(m_nav);
    m_navButton->setObjectName(QStringLiteral("navbutton"));
    m_navButton->setGeometry(kScreenWidth - 36, 2, 32, kNavBarHeight - 4);
    m_navButton->setAutoRaise(true);
    m_navButton->setFont(titleFont);
    m_navButton->setFocusPolicy(Qt::NoFocus);
    connect(m_navButton, &QToolButton::clicked, this, [this] { tapNavButton(); });

    const int bottom = kScreenHeight - kMenuBarHeight;
    const int clientBottom = kind == Kind::Sheet ? bottom - kTabBarHeight : bottom;
    m_client = new ClientArea(this);
    m_client->setObjectName(QStringLiteral("client"));
    m_client->setGeometry(0, kNavBarHeight, kScreenWidth, clientBottom - kNavBarHeight);
    if (kind == Kind::Sheet) {
        m_tabs = new QTabBar(this);
        m_tabs->setObjectName(QStringLiteral("tabs"));
        m_tabs->setShape(QTabBar::RoundedSouth);
        m_tabs->setExpanding(false);
        m_tabs->setDrawBase(false);
        m_tabs->setUsesScrollButtons(false);
        m_tabs->setGeometry(0, clientBottom, kScreenWidth, kTabBarHeight);
        // Four tabs share the phone's 240 pixels, as on the phone: small
        // type and narrow margins.
        QFont tabFont = dialogFont();
        tabFont.setPixelSize(10);
        m_tabs->setFont(tabFont);
        m_tabs->setStyleSheet(QStringLiteral(
            "QTabBar::tab { padding: 2px 6px 3px 6px; min-width: 0px; border: 1px solid #808080; }"
            "QTabBar::tab:selected { background: white; border-top-color: white; }"
            "QTabBar::tab:!selected { background: #d4d0c8; }"
            "QTabBar { outline: none; }"));
    }
    m_emptyBar = new QWidget(this);
    m_emptyBar->setObjectName(QStringLiteral("emptymenubar"));
    m_emptyBar->setGeometry(0, bottom, kScreenWidth, kMenuBarHeight);
    m_emptyBar->setAutoFillBackground(true);
    QPalette barPalette = m_emptyBar->palette();
    barPalette.setColor(QPalette::Window, QColor(0x10, 0x3C, 0x8C));
    m_emptyBar->setPalette(barPalette);
    setDoneButton(true);
    showTitle(gNavText);
}

Form::~Form()
{
    liveForms().erase(this);
    m_bars.clear();
}

void Form::setDoneButton(bool shown)
{
    m_done = shown;
    m_navButton->setText(shown ? QStringLiteral("ok") : QStringLiteral("\u2715"));
    m_navButton->setToolTip(shown ? QStringLiteral("OK") : QStringLiteral("Close"));
}

void Form::tapNavButton()
{
    HWND hwnd = m_owner ? m_owner->m_hWnd : nullptr;
    if (!hwnd)
        return;
    if (m_done) {
        ::SendMessage(hwnd, WM_COMMAND, IDOK, 0);
        return;
    }
    // The close button minimises the window, as on the phone; the window
    // learns it from WM_SIZE.
    m_minimising = true;
    if (!offscreen())
        showMinimized();
    m_minimising = false;
    ::SendMessage(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
}

void Form::showTitle(const std::u16string& title)
{
    m_title->setText(qstr(title));
}

void Form::setCurrentBarOwner(CWnd* owner)
{
    m_barOwner = owner;
    refreshMenuBar();
}

void Form::addMenuBar(std::unique_ptr<MenuBar> bar)
{
    // A window has one bar; a new one replaces the old.
    const HWND owner = bar->ownerWindow();
    m_bars.erase(std::remove_if(m_bars.begin(), m_bars.end(),
                                [&](const std::unique_ptr<MenuBar>& b) { return b->ownerWindow() == owner; }),
                 m_bars.end());
    m_bars.push_back(std::move(bar));
    refreshMenuBar();
}

MenuBar* Form::menuBarOf(HWND owner) const
{
    for (const auto& bar : m_bars)
        if (bar->ownerWindow() == owner)
            return bar.get();
    return nullptr;
}

void Form::refreshMenuBar()
{
    const HWND current = m_barOwner ? m_barOwner->m_hWnd : nullptr;
    bool shown = false;
    for (const auto& bar : m_bars) {
        const bool mine = current && bar->ownerWindow() == current;
        bar->widget()->setVisible(mine);
        shown = shown || mine;
    }
    m_emptyBar->setVisible(!shown);
}

void Form::closeEvent(QCloseEvent* event)
{
    // The window manager's close: what the phone's close button does.
    event->ignore();
    if (m_owner && m_owner->m_hWnd)
        QTimer::singleShot(0, this, [this] {
            if (m_done)
                ::PostMessage(m_owner->m_hWnd, WM_COMMAND, IDCANCEL, 0);
            else
                ::SendMessage(m_owner->m_hWnd, WM_SIZE, SIZE_MINIMIZED, 0);
        });
}

void Form::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !m_minimising && m_owner && m_owner->m_hWnd)
        ::PostMessage(m_owner->m_hWnd, WM_SIZE, SIZE_MINIMIZED, 0);
}

void Form::keyPressEvent(QKeyEvent* event)
{
    // F1 stands for Help in the Start menu while the program is in front.
    if (event->key() == Qt::Key_F1 && m_owner && m_owner->m_hWnd) {
        CWnd* target = m_owner;
        if (auto* sheet = dynamic_cast<CPropertySheet*>(m_owner); sheet && sheet->GetActivePage())
            target = sheet->GetActivePage();
        HELPINFO info{sizeof(HELPINFO), 1, 0, nullptr, 0, {0, 0}};
        ::SendMessage(target->m_hWnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        return;
    }
    QWidget::keyPressEvent(event);
}

Form* formOf(const CWnd* wnd)
{
    if (!wnd || !wnd->widget())
        return nullptr;
    return dynamic_cast<Form*>(wnd->widget()->window());
}

void setNavigationBarText(const std::u16string& text)
{
    gNavText = text;
    for (Form* form : liveForms())
        form->showTitle(text);
}

std::u16string navigationBarText()
{
    return gNavText;
}

// ---- Menu bars -------------------------------------------------------------------

MenuBar::MenuBar(Form* form, HWND owner, std::unique_ptr<HMENU__> menu) : m_owner(owner), m_menu(std::move(menu))
{
    auto* bar = new QWidget(form);
    bar->setObjectName(QStringLiteral("menubar"));
    bar->setGeometry(0, kScreenHeight - kMenuBarHeight, kScreenWidth, kMenuBarHeight);
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, QColor(0x10, 0x3C, 0x8C));
    palette.setColor(QPalette::ButtonText, Qt::white);
    palette.setColor(QPalette::Button, QColor(0x10, 0x3C, 0x8C));
    bar->setPalette(palette);
    QFont font = dialogFont();
    font.setPixelSize(12);
    font.setBold(true);
    for (int key = 0; key < 2; ++key) {
        auto* button = new QPushButton(bar);
        button->setObjectName(QStringLiteral("softkey%1").arg(key));
        button->setGeometry(key * kScreenWidth / 2, 0, kScreenWidth / 2, kMenuBarHeight);
        button->setFlat(true);
        button->setFont(font);
        button->setFocusPolicy(Qt::NoFocus);
        if (key < static_cast<int>(m_menu->items.size()) &&
            !(m_menu->items[static_cast<std::size_t>(key)].flags & MF_SEPARATOR))
            button->setText(qstr(m_menu->items[static_cast<std::size_t>(key)].text));
        else
            button->setEnabled(false);
        QObject::connect(button, &QPushButton::clicked, bar, [this, key] { press(key); });
    }
    attach(this, bar, CWnd::FromHandle(owner), IDC_STATIC);
    bar->show();
}

MenuBar::~MenuBar()
{
    // A bar that is replaced goes from the screen at once; its widget is
    // deleted later, as the bar may be replaced from one of its own keys.
    if (QWidget* bar = widget()) {
        bar->hide();
        bar->deleteLater();
    }
}

bool MenuBar::press(int key)
{
    if (key < 0 || key >= static_cast<int>(m_menu->items.size()) || !widget())
        return false;
    HMENU__::Item& item = m_menu->items[static_cast<std::size_t>(key)];
    if (item.flags & (MF_SEPARATOR | MF_GRAYED))
        return false;
    if (item.popup) {
        ::SendMessage(m_owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(item.popup.get()), MAKELPARAM(key, FALSE));
        openPopup(item.popup.get(), key, widget()->findChild<QWidget*>(QStringLiteral("softkey%1").arg(key)));
        return true;
    }
    ::SendMessage(m_owner, WM_COMMAND, item.id, 0);
    return true;
}

namespace {

// Fills a Qt menu from a popup; the commands go to `owner` once the menu has closed.
void fillMenu(QMenu* qmenu, HMENU__* popup, HWND owner)
{
    qmenu->clear();
    for (std::size_t i = 0; i < popup->items.size(); ++i) {
        HMENU__::Item& item = popup->items[i];
        if (item.flags & MF_SEPARATOR) {
            qmenu->addSeparator();
        } else if (item.popup) {
            QMenu* sub = qmenu->addMenu(qstr(item.text));
            sub->setObjectName(QStringLiteral("popup"));
            HMENU__* inner = item.popup.get();
            const int index = static_cast<int>(i);
            QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, inner, owner, index] {
                ::SendMessage(owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(inner), MAKELPARAM(index, FALSE));
                fillMenu(sub, inner, owner);
            });
            fillMenu(sub, inner, owner);
        } else {
            QAction* action = qmenu->addAction(qstr(item.text));
            action->setObjectName(QString::number(item.id));
            action->setCheckable(true);
            action->setChecked((item.flags & MF_CHECKED) != 0);
            action->setEnabled(!(item.flags & MF_GRAYED));
            const UINT id = item.id;
            QObject::connect(action, &QAction::triggered, qmenu, [owner, id] {
                QTimer::singleShot(0, [owner, id] { ::SendMessage(owner, WM_COMMAND, id, 0); });
            });
        }
    }
}

bool pathTo(HMENU__* menu, UINT id, std::vector<std::pair<HMENU__*, int>>& path)
{
    for (std::size_t i = 0; i < menu->items.size(); ++i) {
        HMENU__::Item& item = menu->items[i];
        if (item.popup) {
            path.emplace_back(item.popup.get(), static_cast<int>(i));
            if (pathTo(item.popup.get(), id, path))
                return true;
            path.pop_back();
        } else if (!(item.flags & MF_SEPARATOR) && item.id == id) {
            return !(item.flags & MF_GRAYED);
        }
    }
    return false;
}

}  // namespace

void MenuBar::openPopup(HMENU__* popup, int index, QWidget* anchor)
{
    auto* qmenu = new QMenu(widget());
    qmenu->setObjectName(QStringLiteral("popup"));
    qmenu->setAttribute(Qt::WA_DeleteOnClose);
    fillMenu(qmenu, popup, m_owner);
    const QSize size = qmenu->sizeHint();
    QPoint at = anchor ? anchor->mapToGlobal(QPoint(0, 0)) : widget()->mapToGlobal(QPoint(0, 0));
    if (index == 1 && anchor)
        at.rx() += anchor->width() - size.width();
    at.ry() -= size.height();
    qmenu->popup(at);
}

bool MenuBar::choose(UINT id)
{
    std::vector<std::pair<HMENU__*, int>> path;
    if (!pathTo(m_menu.get(), id, path))
        return false;
    for (const auto& [popup, index] : path)
        ::SendMessage(m_owner, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(index, FALSE));
    ::SendMessage(m_owner, WM_COMMAND, id, 0);
    return true;
}

LRESULT MenuBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == SHCMBM_GETMENU)
        return reinterpret_cast<LRESULT>(m_menu.get());
    if (message == SHCMBM_GETSUBMENU)
        return reinterpret_cast<LRESULT>(::GetSubMenu(m_menu.get(), static_cast<int>(lParam)));
    return CWnd::WindowProc(message, wParam, lParam);
}

HWND menuBarOf(HWND owner)
{
    Form* form = formOf(CWnd::FromHandle(owner));
    MenuBar* bar = form ? form->menuBarOf(owner) : nullptr;
    return bar ? bar->m_hWnd : nullptr;
}

BOOL pressSoftKey(HWND menuBar, int key)
{
    auto* bar = dynamic_cast<MenuBar*>(CWnd::FromHandle(menuBar));
    return bar && bar->press(key) ? TRUE : FALSE;
}

BOOL chooseMenuItem(HWND menuBar, UINT nID)
{
    auto* bar = dynamic_cast<MenuBar*>(CWnd::FromHandle(menuBar));
    return bar && bar->choose(nID) ? TRUE : FALSE;
}

BOOL tapNavBarButton(HWND form)
{
    Form* f = formOf(CWnd::FromHandle(form));
    if (!f)
        return FALSE;
    f->tapNavButton();
    return TRUE;
}

bool grabForm(CWnd* form, const std::string& hostPath)
{
    Form* f = formOf(form);
    return f && f->grab().save(QString::fromStdString(hostPath), "PNG");
}

}  // namespace handset::ui

using namespace handset::ui;

BOOL SHCreateMenuBar(SHMENUBARINFO* pmbi)
{
    if (!pmbi || pmbi->cbSize != sizeof(SHMENUBARINFO))
        return FALSE;
    pmbi->hwndMB = nullptr;
    CWnd* owner = CWnd::FromHandle(pmbi->hwndParent);
    Form* form = formOf(owner);
    if (!form)
        return FALSE;
    // The program's own resources are found without a module instance.
    HINSTANCE instance = pmbi->hInstRes == AfxGetInstanceHandle() ? nullptr : pmbi->hInstRes;
    auto menu = loadMenu(instance, pmbi->nToolBarId);
    if (!menu) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return FALSE;
    }
    auto bar = std::make_unique<MenuBar>(form, pmbi->hwndParent, std::move(menu));
    pmbi->hwndMB = bar->m_hWnd;
    form->addMenuBar(std::move(bar));
    return TRUE;
}

BOOL SHInitExtraControls()
{
    return TRUE;
}

BOOL SHSetNavBarText(HWND, LPCWSTR pszText)
{
    if (!pszText)
        return FALSE;
    setNavigationBarText(pszText);
    return TRUE;
}

BOOL SHDoneButton(HWND hwndRequester, DWORD dwState)
{
    Form* form = formOf(CWnd::FromHandle(hwndRequester));
    if (!form || (dwState != SHDB_SHOW && dwState != SHDB_HIDE))
        return FALSE;
    form->setDoneButton(dwState == SHDB_SHOW);
    return TRUE;
}
