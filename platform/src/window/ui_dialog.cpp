// Dialogs, property sheets and pages, the controls of their templates, the
// modal loops, and the application object.
#include <deque>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QTabBar>
#include <QTimeEdit>
#include <QTimer>

#include <handset/clock.h>
#include <handset/log.h>
#include <handset/qt_host.h>
#include <handset/wstring.h>

#include "remote_internal.h"
#include "ui_internal.h"
#include "window_internal.h"

namespace handset::ui {
namespace {

CWinApp* gApp = nullptr;
std::vector<CWnd*> gModal;
std::deque<std::function<void(CWnd*)>>& pendingActions()
{
    static std::deque<std::function<void(CWnd*)>> actions;
    return actions;
}

// WM_COMMAND from a control to the dialog or page that holds it.
void notify(QWidget* control, CWnd* owner, WORD code)
{
    CWnd* wnd = cwndOf(control);
    if (!owner->m_hWnd || !wnd)
        return;
    const int id = control->property("controlId").toInt();
    ::SendMessage(owner->m_hWnd, WM_COMMAND, static_cast<WPARAM>((static_cast<DWORD>(code) << 16) | (id & 0xFFFF)),
                  reinterpret_cast<LPARAM>(wnd->m_hWnd));
}

// A push button its object draws (the template's OWNERDRAW): the background
// erase and WM_DRAWITEM go through the framework's messages, on a context
// of the button's size.
class OwnerDrawButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QImage image(size(), QImage::Format_RGB32);
        image.fill(palette().color(QPalette::Window));
        CWnd* self = cwndOf(this);
        CWnd* parent = cwndOf(parentWidget());
        if (self && self->m_hWnd) {
            HDC hdc = window::makeImageContext(&image);
            ::SendMessage(self->m_hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
            DRAWITEMSTRUCT dis{};
            dis.CtlType = ODT_BUTTON;
            dis.CtlID = static_cast<UINT>(property("controlId").toInt());
            dis.itemAction = ODA_DRAWENTIRE;
            dis.itemState = (isDown() ? ODS_SELECTED : 0) | (hasFocus() ? ODS_FOCUS : 0) |
                            (isEnabled() ? 0 : ODS_DISABLED);
            dis.hwndItem = self->m_hWnd;
            dis.hDC = hdc;
            dis.rcItem = {0, 0, width(), height()};
            if (parent && parent->m_hWnd)
                ::SendMessage(parent->m_hWnd, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
            window::freeImageContext(hdc);
        }
        QPainter painter(this);
        painter.drawImage(0, 0, image);
    }
};

QWidget* makeWidget(const ControlTemplate& c, QWidget* parent, CDialog* owner, std::unique_ptr<CWnd>& object)
{
    const QString text = qstr(c.text);
    const std::string& k = c.kind;
    if (k == "LTEXT" || k == "CTEXT" || k == "RTEXT") {
        auto* label = new QLabel(text, parent);
        label->setWordWrap(!c.noWrap);
        const Qt::Alignment h = k == "CTEXT" ? Qt::AlignHCenter : k == "RTEXT" ? Qt::AlignRight : Qt::AlignLeft;
        label->setAlignment(h | Qt::AlignTop);
        label->setTextFormat(Qt::PlainText);
        object = std::make_unique<CStatic>();
        return label;
    }
    if (k == "GROUPBOX") {
        auto* group = new QGroupBox(text, parent);
        object = std::make_unique<CButton>();
        return group;
    }
    if (k == "PUSHBUTTON" || k == "DEFPUSHBUTTON") {
        QPushButton* button = c.ownerDraw ? new OwnerDrawButton(text, parent) : new QPushButton(text, parent);
        button->setDefault(k == "DEFPUSHBUTTON");
        button->setAutoDefault(false);
        if (c.leftText)
            button->setStyleSheet(QStringLiteral("text-align: left; padding-left: 4px;"));
        QObject::connect(button, &QPushButton::clicked, button, [button, owner] { notify(button, owner, BN_CLICKED); });
        object = std::make_unique<CButton>();
        return button;
    }
    if (k == "CHECKBOX") {
        auto* box = new QCheckBox(text, parent);
        QObject::connect(box, &QCheckBox::clicked, box, [box, owner] { notify(box, owner, BN_CLICKED); });
        object = std::make_unique<CButton>();
        return box;
    }
    if (k == "COMBOBOX") {
        auto* combo = new QComboBox(parent);
        combo->setProperty("sorted", c.sort);
        combo->setMaxVisibleItems(12);
        QObject::connect(combo, qOverload<int>(&QComboBox::activated), combo,
                         [combo, owner](int) { notify(combo, owner, CBN_SELCHANGE); });
        object = std::make_unique<CComboBox>();
        return combo;
    }
    if (k == "LISTBOX") {
        auto* list = new QListWidget(parent);
        list->setProperty("sorted", c.sort);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setVerticalScrollBarPolicy(c.vscroll ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        QObject::connect(list, &QListWidget::itemSelectionChanged, list,
                         [list, owner] { notify(list, owner, LBN_SELCHANGE); });
        object = std::make_unique<CListBox>();
        return list;
    }
    if (k == "LISTVIEW")
        return makeListView(c, parent, object);
    if (k == "TIMEPICKER") {
        auto* edit = new QTimeEdit(parent);
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
        edit->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        edit->setWrapping(true);
        SYSTEMTIME now{};
        GetLocalTime(&now);
        edit->setTime(QTime(now.wHour, now.wMinute));
        object = std::make_unique<CDateTimeCtrl>();
        return edit;
    }
    if (k == "PICTURE") {
        auto* label = new QLabel(parent);
        bool ok = false;
        const unsigned bitmapId = text.toUInt(&ok);
        if (ok) {
            if (HBITMAP bitmap = ::LoadBitmap(nullptr, MAKEINTRESOURCE(bitmapId))) {
                label->setPixmap(QPixmap::fromImage(*window::bitmapImage(bitmap)));
                DeleteObject(bitmap);
            }
        }
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        object = std::make_unique<CStatic>();
        return label;
    }
    // EDITTEXT
    auto* edit = new QLineEdit(text, parent);
    QObject::connect(edit, &QLineEdit::textChanged, edit, [edit, owner] { notify(edit, owner, EN_CHANGE); });
    object = std::make_unique<CWnd>();
    return edit;
}

}  // namespace

void buildControls(CDialog* owner, QWidget* parent, const DialogTemplate& tmpl,
                   std::vector<std::unique_ptr<CWnd>>& controls)
{
    for (const ControlTemplate& c : tmpl.controls) {
        std::unique_ptr<CWnd> object;
        QWidget* widget = makeWidget(c, parent, owner, object);
        widget->setGeometry(c.x, c.y, c.width, c.height);
        if (c.hidden)
            widget->setHidden(true);
        if (c.disabled)
            widget->setEnabled(false);
        attach(object.get(), widget, owner, c.id);
        if (auto* label = qobject_cast<QLabel*>(widget); label && c.notify)
            reportTaps(label, [label, owner] { notify(label, owner, STN_CLICKED); });
        if (auto* combo = dynamic_cast<CComboBox*>(object.get()))
            for (const auto& item : c.items)
                combo->AddString(item.c_str());
        if (auto* list = dynamic_cast<CListBox*>(object.get()))
            for (const auto& item : c.items)
                list->AddString(item.c_str());
        // Group boxes lie under the controls they frame.
        if (c.kind == "GROUPBOX")
            widget->lower();
        controls.push_back(std::move(object));
    }
}

namespace {

// The phone's scroll bars are as wide as its metrics say, so that a list
// that leaves SM_CXVSCROLL pixels for the bar shows all its columns.
class PhoneStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        if (metric == PM_ScrollBarExtent)
            return GetSystemMetrics(SM_CXVSCROLL);
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

void ensureApplication()
{
    if (QCoreApplication::instance()) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            logLine("ui", "a Qt application without widgets was made before the UI framework's");
        return;
    }
    prepareQt();
    static int argc = 1;
    static char name[] = "handset";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    // The phone's controls are the flat grey ones of its era.
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Windows")))
        QApplication::setStyle(new PhoneStyle(style));
    QApplication::setFont(dialogFont());
    serveScreenRequests();
    presentMessageBoxes();
}

std::vector<CWnd*> modalForms()
{
    return gModal;
}

void whenNextFormShown(std::function<void(CWnd* form)> action)
{
    pendingActions().push_back(std::move(action));
}

void pushModal(CWnd* form)
{
    gModal.push_back(form);
}

void popModal(CWnd* form)
{
    gModal.erase(std::remove(gModal.begin(), gModal.end(), form), gModal.end());
}

void formShown(CWnd* form)
{
    const Form* shown = formOf(form);
    logLine("ui", "shown \"" + (shown ? shown->windowTitle().toStdString() : std::string()) + "\"");
    window::remote::noteForeground();
    // Scripts and benchmarks that start a program only to see it come up
    // have each form answered with Cancel as soon as it shows.
    if (std::getenv("HANDSET_UI_CLOSE_WHEN_SHOWN")) {
        const HWND hwnd = form->m_hWnd;
        QTimer::singleShot(0, [hwnd] { ::PostMessage(hwnd, WM_COMMAND, IDCANCEL, 0); });
    }
    if (pendingActions().empty())
        return;
    auto action = std::move(pendingActions().front());
    pendingActions().pop_front();
    QTimer::singleShot(0, [form, action = std::move(action)] {
        // The form may have ended before its turn came.
        const auto forms = modalForms();
        if (std::find(forms.begin(), forms.end(), form) != forms.end())
            action(form);
    });
}

void runForm(CWnd* owner, Form* form, QEventLoop*& loopSlot, const bool& ended,
             const std::function<void()>& initialise)
{
    QEventLoop loop;
    loopSlot = &loop;
    pushModal(owner);
    form->show();
    form->activateWindow();
    initialise();
    formShown(owner);
    runModalLoop(loop, ended);
    loopSlot = nullptr;
    popModal(owner);
    form->hide();
}

void runModalLoop(QEventLoop& loop, const bool& ended)
{
    // Messages posted to the framework's windows wait in the platform's
    // queue; the loop delivers them as the phone's loop would.
    QTimer pump;
    QObject::connect(&pump, &QTimer::timeout, [] { handset::pumpMessages(); });
    pump.start(10);
    handset::pumpMessages();
    if (!ended)
        loop.exec();
}

}  // namespace handset::ui

using namespace handset::ui;

namespace {

void focusFirstControl(QWidget* parent)
{
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && !w->isHidden() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus)) {
            w->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

}  // namespace

// ---- CDialog -------------------------------------------------------------------

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal()
{
    auto tmpl = loadDialog(nullptr, m_nIDTemplate);
    if (!tmpl) {
        handset::logLine("ui", "no dialog template " + std::to_string(m_nIDTemplate));
        return -1;
    }
    m_ended = false;
    m_result = 0;
    auto* form = new Form(Form::Kind::Dialog, this);
    form->setWindowTitle(QString::fromUtf16(tmpl->caption.data(), static_cast<qsizetype>(tmpl->caption.size())));
    form->setWindowModality(Qt::ApplicationModal);
    attach(this, form->client(), nullptr, IDC_STATIC);
    form->setCurrentBarOwner(this);
    buildControls(this, form->client(), *tmpl, m_controls);
    setNavigationBarText(tmpl->caption);

    runForm(this, form, m_loop, m_ended, [&] {
        if (OnInitDialog())
            focusFirstControl(form->client());
    });
    detach(this);
    m_controls.clear();
    delete form;
    return m_result;
}

void CDialog::EndDialog(int nResult)
{
    m_result = nResult;
    m_ended = true;
    if (m_loop)
        m_loop->quit();
}

BOOL CDialog::OnInitDialog()
{
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(static_cast<LPARAM>(wParam))) {
    case IDOK:
        OnOK();
        return TRUE;
    case IDCANCEL:
        OnCancel();
        return TRUE;
    default:
        return CWnd::OnCommand(wParam, lParam);
    }
}

// ---- CPropertyPage ---------------------------------------------------------------

CPropertyPage::CPropertyPage(UINT nIDTemplate, UINT nIDCaption) : CDialog(nIDTemplate)
{
    if (nIDCaption) {
        WCHAR buffer[256];
        if (LoadString(nullptr, nIDCaption, buffer, 256) > 0)
            m_caption = buffer;
    } else if (auto tmpl = loadDialog(nullptr, nIDTemplate)) {
        m_caption = tmpl->caption;
    }
}

BOOL CPropertyPage::OnCommand(WPARAM wParam, LPARAM lParam)
{
    return m_sheet && m_sheet->m_hWnd ? static_cast<BOOL>(m_sheet->SendMessage(WM_COMMAND, wParam, lParam)) : FALSE;
}

void CPropertyPage::OnInitMenuPopup(CMenu* pPopupMenu, UINT nIndex, BOOL bSysMenu)
{
    if (m_sheet && m_sheet->m_hWnd && pPopupMenu)
        m_sheet->SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(pPopupMenu->m_hMenu),
                             MAKELPARAM(static_cast<int>(nIndex), bSysMenu));
}

BOOL CPropertyPage::OnHelpInfo(HELPINFO* pHelpInfo)
{
    return m_sheet && m_sheet->m_hWnd
               ? static_cast<BOOL>(m_sheet->SendMessage(WM_HELP, 0, reinterpret_cast<LPARAM>(pHelpInfo)))
               : FALSE;
}

// ---- CPropertySheet ----------------------------------------------------------------

CPropertySheet::CPropertySheet(LPCWSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : m_caption(pszCaption ? pszCaption : u""), m_pParentWnd(pParentWnd), m_initialPage(iSelectPage)
{
}

CPropertySheet::~CPropertySheet() = default;

void CPropertySheet::AddPage(CPropertyPage* pPage)
{
    if (!pPage)
        return;
    CWndAccess::sheet(pPage) = this;
    m_pages.push_back(pPage);
    if (Form* form = formOf(this))
        form->tabs()->addTab(qstr(pPage->caption()));
}

CPropertyPage* CPropertySheet::GetPage(int nPage) const
{
    return nPage >= 0 && nPage < GetPageCount() ? m_pages[static_cast<std::size_t>(nPage)] : nullptr;
}

CPropertyPage* CPropertySheet::GetActivePage() const
{
    return GetPage(m_active);
}

CWnd* CPropertySheet::GetTabControl() const
{
    return m_tabs.get();
}

BOOL CPropertySheet::SetActivePage(int nPage)
{
    Form* form = formOf(this);
    CPropertyPage* page = GetPage(nPage);
    if (!form || !page)
        return FALSE;
    if (nPage == m_active)
        return TRUE;
    if (CPropertyPage* old = GetActivePage(); old && !old->OnKillActive()) {
        const QSignalBlocker quiet(form->tabs());
        form->tabs()->setCurrentIndex(m_active);
        return FALSE;
    }
    if (!CWndAccess::created(page)) {
        auto tmpl = loadDialog(nullptr, page->templateId());
        auto* area = new QWidget(form->client());
        area->setGeometry(form->client()->rect());
        area->hide();
        attach(page, area, this, IDC_STATIC);
        if (tmpl)
            buildControls(page, area, *tmpl, CWndAccess::controls(page));
        CWndAccess::created(page) = true;
        if (page->OnInitDialog())
            focusFirstControl(area);
    }
    if (CPropertyPage* old = GetActivePage(); old && old->widget())
        old->widget()->hide();
    m_active = nPage;
    page->widget()->show();
    {
        const QSignalBlocker quiet(form->tabs());
        form->tabs()->setCurrentIndex(nPage);
    }
    form->setCurrentBarOwner(page);
    page->OnSetActive();
    form->refreshMenuBar();
    return TRUE;
}

INT_PTR CPropertySheet::DoModal()
{
    m_ended = false;
    m_result = 0;
    m_active = -1;
    auto* form = new Form(Form::Kind::Sheet, this);
    form->setWindowTitle(qstr(m_caption));
    form->setWindowModality(Qt::ApplicationModal);
    attach(this, form, nullptr, IDC_STATIC);
    for (CPropertyPage* page : m_pages)
        form->tabs()->addTab(qstr(page->caption()));
    m_tabs = std::make_unique<CWnd>();
    attach(m_tabs.get(), form->tabs(), this, IDC_STATIC);
    QObject::connect(form->tabs(), &QTabBar::currentChanged, form, [this](int index) { SetActivePage(index); });
    setNavigationBarText(m_caption);

    runForm(this, form, m_loop, m_ended, [this] { OnInitDialog(); });
    for (CPropertyPage* page : m_pages) {
        detach(page);
        CWndAccess::controls(page).clear();
        CWndAccess::created(page) = false;
    }
    m_tabs.reset();
    detach(this);
    delete form;
    m_active = -1;
    return m_result;
}

void CPropertySheet::EndDialog(int nResult)
{
    m_result = nResult;
    m_ended = true;
    if (m_loop)
        m_loop->quit();
}

void CPropertySheet::PressButton(int nButton)
{
    if (m_hWnd)
        PostMessage(WM_COMMAND, nButton == PSBTN_OK ? IDOK : IDCANCEL, 0);
}

BOOL CPropertySheet::OnInitDialog()
{
    SetActivePage(static_cast<int>(m_initialPage) < GetPageCount() ? static_cast<int>(m_initialPage) : 0);
    return TRUE;
}

BOOL CPropertySheet::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(static_cast<LPARAM>(wParam))) {
    case IDOK:
        EndDialog(IDOK);
        return TRUE;
    case IDCANCEL:
        EndDialog(IDCANCEL);
        return TRUE;
    default:
        return CWnd::OnCommand(wParam, lParam);
    }
}

// ---- The application ---------------------------------------------------------------

CWinApp::CWinApp()
{
    handset::ui::gApp = this;
}

CWinApp::~CWinApp()
{
    if (handset::ui::gApp == this)
        handset::ui::gApp = nullptr;
}

int CWinApp::Run()
{
    ensureApplication();
    QEventLoop loop;
    QTimer pump;
    QObject::connect(&pump, &QTimer::timeout, [&loop] {
        MSG msg;
        while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                loop.exit(static_cast<int>(msg.wParam));
                return;
            }
            DispatchMessage(&msg);
        }
    });
    pump.start(10);
    loop.exec();
    return ExitInstance();
}

CWinApp* AfxGetApp()
{
    return handset::ui::gApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    return handset::ui::gApp ? handset::ui::gApp->m_hInstance : nullptr;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    ensureApplication();
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->m_hInstance = hInstance;
    if (!app->InitInstance())
        return app->ExitInstance();
    return app->Run();
}
