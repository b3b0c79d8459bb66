// What the files of the UI framework share: the parsed resource templates,
// the form (the phone's screen with its bars), and the ties between
// framework objects, their windows and their widgets.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QWidget>

#include <handset/ui.h>

class QLabel;
class QTabBar;
class QToolButton;
class QEventLoop;

// A menu: the items of a MENU resource or of one of its popups.
struct HMENU__ {
    struct Item {
        UINT id = 0;
        std::u16string text;
        UINT flags = 0;  // MF_CHECKED, MF_GRAYED, MF_SEPARATOR, MF_POPUP
        std::unique_ptr<HMENU__> popup;
    };
    std::vector<Item> items;
};

// The framework's access to the members of its objects.
struct CWndAccess {
    static QWidget*& widget(CWnd* w) { return w->m_widget; }
    static std::vector<std::unique_ptr<CWnd>>& controls(CDialog* d) { return d->m_controls; }
    static CWnd* parentOf(CDialog* d) { return d->m_pParentWnd; }
    static CPropertySheet*& sheet(CPropertyPage* p) { return p->m_sheet; }
    static std::u16string& caption(CPropertyPage* p) { return p->m_caption; }
    static bool& created(CPropertyPage* p) { return p->m_created; }
};

namespace handset::ui {

// Text between the framework's UTF-16 strings and Qt's.
QString qstr(LPCWSTR text);  // null reads as empty
QString qstr(std::u16string_view text);
std::u16string ustr(const QString& text);
// The LOGFONT a Qt font stands for ("Tahoma" being the phone's face name).
LOGFONTW logFontOf(const QFont& font);

// One control line of a DIALOG template.
struct ControlTemplate {
    std::string kind;  // LTEXT, CTEXT, RTEXT, GROUPBOX, PUSHBUTTON, DEFPUSHBUTTON, CHECKBOX,
                       // COMBOBOX, LISTBOX, LISTVIEW, TIMEPICKER, PICTURE, EDITTEXT
    std::u16string text;
    int id = IDC_STATIC;
    int x = 0, y = 0, width = 0, height = 0;
    bool hidden = false, disabled = false, ownerDraw = false, sort = false, vscroll = false,
         border = false, noWrap = false, leftText = false, noHeader = false, singleSel = false,
         showSelAlways = false, noScroll = false, notify = false;
    std::vector<std::u16string> items;  // ITEMS lines for a combo or list box
};

struct DialogTemplate {
    unsigned id = 0;
    std::u16string caption;
    std::vector<ControlTemplate> controls;
};

// Reads the text of a DIALOG block; an error message in `error` when it cannot.
std::optional<DialogTemplate> parseDialog(std::string_view text, std::string& error);
// Reads the text of a MENU block.
std::unique_ptr<HMENU__> parseMenu(std::string_view text, std::string& error);

// The program's DIALOG or MENU resource (null instance: the program).
std::optional<DialogTemplate> loadDialog(HINSTANCE instance, unsigned id);
std::unique_ptr<HMENU__> loadMenu(HINSTANCE instance, unsigned id);

// The framework object of a widget, null for a widget that has none.
CWnd* cwndOf(const QWidget* widget);
// Ties a framework object to its widget and makes its window (a child of
// parent's window, or a top-level window when parent is null).
void attach(CWnd* wnd, QWidget* widget, CWnd* parent, int controlId);
// Unties it: destroys its window, leaves the widget to its owner.
void detach(CWnd* wnd);

// Calls onTap for every tap on the label (a press and a release inside it),
// which a static control with SS_NOTIFY reports to its parent.
void reportTaps(QLabel* label, std::function<void()> onTap);

// The font dialogs draw their text with (8 points, 11 pixels).
QFont dialogFont();

class MenuBar;

// The phone's screen of one dialog or sheet.
class Form : public QWidget {
public:
    enum class Kind { Dialog, Sheet };
    Form(Kind kind, CWnd* owner);
    ~Form() override;

    QWidget* client() const { return m_client; }
    QTabBar* tabs() const { return m_tabs; }
    CWnd* owner() const { return m_owner; }

    void setDoneButton(bool shown);
    bool doneButtonShown() const { return m_done; }
    void tapNavButton();
    void showTitle(const std::u16string& title);

    // The window whose menu bar shows now: the active page of a sheet, else the owner.
    void setCurrentBarOwner(CWnd* owner);
    void addMenuBar(std::unique_ptr<MenuBar> bar);
    MenuBar* menuBarOf(HWND owner) const;
    void refreshMenuBar();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Kind m_kind;
    CWnd* m_owner;
    CWnd* m_barOwner = nullptr;
    QWidget* m_nav = nullptr;
    QLabel* m_title = nullptr;
    QToolButton* m_navButton = nullptr;
    QWidget* m_client = nullptr;
    QTabBar* m_tabs = nullptr;
    QWidget* m_emptyBar = nullptr;
    bool m_done = true;
    bool m_minimising = false;
    std::vector<std::unique_ptr<MenuBar>> m_bars;
};

// The form a framework window is shown in, null when none.
Form* formOf(const CWnd* wnd);

// The soft-key bar of one window.
class MenuBar : public CWnd {
public:
    MenuBar(Form* form, HWND owner, std::unique_ptr<HMENU__> menu);
    ~MenuBar() override;
    HWND ownerWindow() const { return m_owner; }
    HMENU menu() const { return m_menu.get(); }
    // Presses soft key 0 or 1.
    bool press(int key);
    // Picks the command, sending the init-popup notifications on the way.
    bool choose(UINT id);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void openPopup(HMENU__* popup, int index, QWidget* anchor);
    HWND m_owner;
    std::unique_ptr<HMENU__> m_menu;
};

// Forms shown modally, innermost last; the modal loop of each.
void pushModal(CWnd* form);
void popModal(CWnd* form);
// Runs the loop until *ended; pumps the platform's message queue as well.
void runModalLoop(QEventLoop& loop, const bool& ended);
// Shows the form of `owner` modally: `initialise` runs once it shows, then
// the loop runs (its address in `loopSlot` meanwhile) until `ended`; the
// form is hidden again at the end.
void runForm(CWnd* owner, Form* form, QEventLoop*& loopSlot, const bool& ended,
             const std::function<void()>& initialise);
// Hands the next queued whenNextFormShown action to the form just shown.
void formShown(CWnd* form);
// The list view of a LISTVIEW line, and its framework object.
QWidget* makeListView(const ControlTemplate& c, QWidget* parent, std::unique_ptr<CWnd>& object);
// Makes the controls of a template on the widget, as children of owner.
void buildControls(CDialog* owner, QWidget* parent, const DialogTemplate& tmpl,
                   std::vector<std::unique_ptr<CWnd>>& controls);
// Sets the navigation bar title of every form.
void setNavigationBarText(const std::u16string& text);

// Answers `handset screen` and `handset input` for the forms (ui_remote.cpp).
void serveScreenRequests();
// Makes message boxes dialogs on the form (msgbox_dialog.cpp).
void presentMessageBoxes();

// Temporary holders (CDC::FromHandle's) live until the message that asked
// for them is handled: each message a framework window handles opens a
// scope, and the holders made in it go when it closes. Holders asked for
// outside every message go when the next outermost message is handled.
class TemporaryScope {
public:
    TemporaryScope();
    ~TemporaryScope();
    TemporaryScope(const TemporaryScope&) = delete;
    TemporaryScope& operator=(const TemporaryScope&) = delete;
};
// How many temporary holders live now (on this thread).
std::size_t temporaryHolderCount();

}  // namespace handset::ui
