// `handset screen` and `handset input` on the UI framework's forms: the
// foreground form (or message box) described control by control, and the
// pen and keys delivered as the display would deliver a person's, through
// Qt's window-system path, so that every control reacts and notifies as it
// does for a person.
//
// An input is delivered after its request has been taken off the queue, and
// answered once the program has settled: no message of the platform's queue
// is waiting, several turns of the event loop in a row. The watch that
// decides it is a timer, so it also runs inside a modal dialog's loop that
// the input opened: the answer then comes once the dialog is shown.
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTableView>
#include <QTextEdit>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>

#include <handset/window.h>
#include <handset/wstring.h>

#include "remote_internal.h"
#include "ui_internal.h"

// Qt's own entry points for input from the window system, which its test
// library uses too: events made here are spontaneous, pass the modality and
// popup rules, and move the focus as a person's do.
Q_GUI_EXPORT void qt_handleMouseEvent(QWindow* window, const QPointF& local, const QPointF& global,
                                      Qt::MouseButtons state, Qt::MouseButton button, QEvent::Type type,
                                      Qt::KeyboardModifiers mods, int timestamp);
Q_GUI_EXPORT void qt_handleKeyEvent(QWindow* window, QEvent::Type t, int k, Qt::KeyboardModifiers mods,
                                    const QString& text, bool autorep, ushort count);

namespace handset::ui {
namespace {

using window::remote::inQuotes;
using window::remote::Request;

// How many turns of the settle watch in a row must find nothing to do, and
// how long it waits at most before answering anyway (a program whose timers
// keep its queue busy).
constexpr int kQuietTurns = 3;
constexpr int kWatchTurnMs = 2;
constexpr int kLongestSettleMs = 5000;

QWidget* foregroundWindow()
{
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible())
        return modal;
    QWidget* shown = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip)
            shown = w;
    return shown;
}

// The popups open over the foreground window (menus, a combo box's list), oldest first.
std::vector<QWidget*> openPopups()
{
    std::vector<QWidget*> popups;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() == Qt::Popup)
            popups.push_back(w);
    if (QWidget* active = QApplication::activePopupWidget()) {
        popups.erase(std::remove(popups.begin(), popups.end(), active), popups.end());
        popups.push_back(active);
    }
    return popups;
}

QString plain(QString text)
{
    // A mnemonic's marker is not shown.
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

std::string q(const QString& text)
{
    return inQuotes(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                      static_cast<std::size_t>(text.size())));
}

QString kindOf(const QWidget* w)
{
    if (const QVariant over = w->property("handset_kind"); over.isValid())
        return over.toString();
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->pixmap().isNull() ? QStringLiteral("label") : QStringLiteral("picture");
    if (qobject_cast<const QCheckBox*>(w))
        return QStringLiteral("check");
    if (qobject_cast<const QRadioButton*>(w))
        return QStringLiteral("radio");
    if (qobject_cast<const QAbstractButton*>(w))
        return QStringLiteral("button");
    if (qobject_cast<const QComboBox*>(w))
        return QStringLiteral("combo");
    if (qobject_cast<const QListView*>(w))
        return QStringLiteral("list");
    if (qobject_cast<const QAbstractItemView*>(w))
        return QStringLiteral("listview");
    if (qobject_cast<const QDateTimeEdit*>(w))
        return QStringLiteral("time");
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w))
        return QStringLiteral("edit");
    if (qobject_cast<const QTabBar*>(w))
        return QStringLiteral("tab");
    if (qobject_cast<const QGroupBox*>(w))
        return QStringLiteral("group");
    return {};
}

bool isChrome(const QWidget* w)
{
    // The form's title is the window's line; its soft-key bars have a line of their own.
    const QString name = w->objectName();
    return name == QLatin1String("navtitle") || name == QLatin1String("menubar") ||
           name == QLatin1String("emptymenubar");
}

// The controls of a window, in the order they were made; a control's own
// parts (a combo box's edit, a list's scroll bars) are not controls.
void collectControls(QWidget* parent, std::vector<QWidget*>& out)
{
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow() || w->isHidden() || isChrome(w))
            continue;
        const QString kind = kindOf(w);
        if (!kind.isEmpty())
            out.push_back(w);
        if (kind.isEmpty() || kind == QLatin1String("group"))
            collectControls(w, out);
    }
}

QRect placeIn(const QWidget* window, const QWidget* w)
{
    const QPoint at = w->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0));
    return QRect(at, w->size());
}

int controlId(const QWidget* w)
{
    const QVariant id = w->property("controlId");
    return id.isValid() ? id.toInt() : IDC_STATIC;
}

QString textOf(const QWidget* w)
{
    if (auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    if (auto* button = qobject_cast<const QAbstractButton*>(w))
        return plain(button->text());
    if (auto* group = qobject_cast<const QGroupBox*>(w))
        return plain(group->title());
    if (auto* combo = qobject_cast<const QComboBox*>(w))
        return combo->currentText();
    if (auto* time = qobject_cast<const QDateTimeEdit*>(w))
        return time->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(w))
        return edit->echoMode() == QLineEdit::Normal ? edit->text() : QString();
    if (auto* edit = qobject_cast<const QTextEdit*>(w))
        return edit->toPlainText();
    if (auto* edit = qobject_cast<const QPlainTextEdit*>(w))
        return edit->toPlainText();
    if (auto* tabs = qobject_cast<const QTabBar*>(w))
        return tabs->currentIndex() >= 0 ? plain(tabs->tabText(tabs->currentIndex())) : QString();
    return {};
}

std::string flagsOf(const QWidget* w)
{
    std::string flags;
    const auto add = [&flags](const char* flag) { flags += (flags.empty() ? "" : ",") + std::string(flag); };
    const QWidget* focus = QApplication::focusWidget();
    if (focus && (focus == w || w->isAncestorOf(focus)))
        add("focused");
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    if ((button && button->isDown()) || w->property("handset_selected").toBool())
        add("selected");
    if (button && button->isCheckable() && button->isChecked())
        add("checked");
    if (!w->isEnabled())
        add("disabled");
    return flags.empty() ? "-" : flags;
}

// The rows of an item view: column 0's text, from its model.
struct Row {
    QString text;
    bool selected;
    QModelIndex index;
};

std::vector<Row> rowsOf(const QAbstractItemView* view)
{
    std::vector<Row> rows;
    const QAbstractItemModel* model = view->model();
    if (!model)
        return rows;
    const QModelIndex root = view->rootIndex();
    for (int r = 0; r < model->rowCount(root); ++r) {
        const QModelIndex index = model->index(r, 0, root);
        const bool selected = view->selectionModel() && view->selectionModel()->isSelected(index);
        rows.push_back({index.data(Qt::DisplayRole).toString(), selected, index});
    }
    return rows;
}

void describeControl(const QWidget* window, const QWidget* w, std::string& out)
{
    const QRect r = placeIn(window, w);
    const int id = controlId(w);
    out += (id == IDC_STATIC ? std::string("-") : std::to_string(id)) + " " + kindOf(w).toStdString() + " " +
           std::to_string(r.x()) + "," + std::to_string(r.y()) + "," + std::to_string(r.width()) + "," +
           std::to_string(r.height()) + " " + flagsOf(w) + " " + q(textOf(w)) + "\n";
    const auto item = [&out](bool selected, const QString& text) {
        out += std::string(selected ? "  item* " : "  item ") + q(text) + "\n";
    };
    if (auto* combo = qobject_cast<const QComboBox*>(w)) {
        for (int i = 0; i < combo->count(); ++i)
            item(i == combo->currentIndex(), combo->itemText(i));
    } else if (auto* view = qobject_cast<const QAbstractItemView*>(w)) {
        for (const Row& row : rowsOf(view))
            item(row.selected, row.text);
    } else if (auto* tabs = qobject_cast<const QTabBar*>(w)) {
        for (int i = 0; i < tabs->count(); ++i)
            item(i == tabs->currentIndex(), plain(tabs->tabText(i)));
    }
}

void describeMenu(const QMenu* menu, std::string& out)
{
    out += "menu\n";
    for (const QAction* action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible())
            continue;
        bool numeric = false;
        const int id = action->objectName().toInt(&numeric);
        out += std::string(action->isChecked() ? "  item* " : "  item ") +
               (numeric && !action->menu() ? std::to_string(id) : std::string("-")) + " " + q(plain(action->text())) +
               "\n";
    }
}

QWidget* softKeyBar(const QWidget* window)
{
    for (auto* bar : window->findChildren<QWidget*>(QStringLiteral("menubar"), Qt::FindDirectChildrenOnly))
        if (!bar->isHidden())
            return bar;
    return nullptr;
}

std::string describe(QWidget* window)
{
    QString title = window->windowTitle();
    if (auto* nav = window->findChild<QLabel*>(QStringLiteral("navtitle")))
        title = nav->text();  // what the navigation bar shows
    std::string out = window::remote::windowLine(ui::ustr(title));
    // What the dialog's own painting draws (a heading band, say) is no
    // control, yet the person reads it: its text gets a line of its own.
    if (auto* client = window->findChild<QWidget*>(QStringLiteral("client"), Qt::FindDirectChildrenOnly)) {
        const CWnd* owner = cwndOf(client);
        const std::u16string painted = owner ? handset::paintedText(owner->m_hWnd) : std::u16string();
        if (!painted.empty()) {
            const QRect r = placeIn(window, client);
            out += "- drawn " + std::to_string(r.x()) + "," + std::to_string(r.y()) + "," + std::to_string(r.width()) +
                   "," + std::to_string(r.height()) + " - " + inQuotes(painted) + "\n";
        }
    }
    std::vector<QWidget*> controls;
    collectControls(window, controls);
    for (QWidget* w : controls)
        describeControl(window, w, out);
    if (QWidget* bar = softKeyBar(window)) {
        out += "softkeys";
        for (int key = 0; key < 2; ++key) {
            auto* button = bar->findChild<QPushButton*>(QStringLiteral("softkey%1").arg(key));
            out += " " + q(button ? plain(button->text()) : QString());
        }
        out += "\n";
    }
    for (QWidget* popup : openPopups()) {
        if (auto* menu = qobject_cast<QMenu*>(popup)) {
            describeMenu(menu, out);
            continue;
        }
        std::vector<QWidget*> inside;
        collectControls(popup, inside);
        for (QWidget* w : inside)
            describeControl(window, w, out);
    }
    return out;
}

std::string pictureOf(QWidget* window)
{
    QPixmap picture = window->grab();
    {
        QPainter painter(&picture);
        for (QWidget* popup : openPopups())
            painter.drawPixmap(placeIn(window, popup).topLeft(), popup->grab());
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.toImage().save(&buffer, "PNG"))
        return {};
    return png.toStdString();
}

// ---- Finding what a person would tap ------------------------------------------------

bool sameText(const QString& shown, const QString& wanted, Qt::CaseSensitivity cs)
{
    return QString::compare(plain(shown).trimmed(), wanted.trimmed(), cs) == 0;
}

// Where in the window a person taps to reach the thing that shows `wanted`:
// an open menu's item or popup's row first, then the window's controls, the
// rows of its lists, its tabs and its soft keys.
std::optional<QPoint> placeShowing(QWidget* window, const QString& wanted)
{
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        const std::vector<QWidget*> popups = openPopups();
        for (auto it = popups.rbegin(); it != popups.rend(); ++it) {
            if (auto* menu = qobject_cast<QMenu*>(*it)) {
                for (QAction* action : menu->actions())
                    if (!action->isSeparator() && action->isVisible() && sameText(action->text(), wanted, cs))
                        return placeIn(window, menu).topLeft() + menu->actionGeometry(action).center();
                continue;
            }
            for (auto* view : (*it)->findChildren<QAbstractItemView*>())
                for (const Row& row : rowsOf(view))
                    if (sameText(row.text, wanted, cs)) {
                        view->scrollTo(row.index);
                        return placeIn(window, view->viewport()).topLeft() + view->visualRect(row.index).center();
                    }
        }
        std::vector<QWidget*> controls;
        collectControls(window, controls);
        if (QWidget* bar = softKeyBar(window))
            for (auto* key : bar->findChildren<QPushButton*>())
                controls.push_back(key);
        for (QWidget* w : controls) {
            if (qobject_cast<QAbstractItemView*>(w) || qobject_cast<QTabBar*>(w) || qobject_cast<QComboBox*>(w))
                continue;
            if (sameText(textOf(w), wanted, cs))
                return placeIn(window, w).center();
        }
        for (QWidget* w : controls) {
            if (auto* tabs = qobject_cast<QTabBar*>(w)) {
                for (int i = 0; i < tabs->count(); ++i)
                    if (sameText(tabs->tabText(i), wanted, cs))
                        return placeIn(window, tabs).topLeft() + tabs->tabRect(i).center();
            } else if (auto* view = qobject_cast<QAbstractItemView*>(w)) {
                for (const Row& row : rowsOf(view))
                    if (sameText(row.text, wanted, cs)) {
                        view->scrollTo(row.index);
                        return placeIn(window, view->viewport()).topLeft() + view->visualRect(row.index).center();
                    }
            }
        }
    }
    return std::nullopt;
}

QWidget* controlWithId(QWidget* window, long id)
{
    std::vector<QWidget*> controls;
    collectControls(window, controls);
    for (QWidget* w : controls)
        if (controlId(w) == id)
            return w;
    return nullptr;
}

// ---- Delivering input ---------------------------------------------------------------

int nextTimestamp()
{
    // Far enough apart that two taps are never taken for a double tap.
    static int stamp = 0;
    stamp += 1000;
    return stamp;
}

void penTap(QWidget* window, QPoint at)
{
    QWindow* surface = window->windowHandle();
    if (!surface)
        return;
    const QPointF global = window->mapToGlobal(QPointF(at));
    const int stamp = nextTimestamp();
    qt_handleMouseEvent(surface, QPointF(at), global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress,
                        Qt::NoModifier, stamp);
    // The window may have gone with the press (a popup that closed).
    if (QPointer<QWidget> still = window; still && still->windowHandle())
        qt_handleMouseEvent(still->windowHandle(), QPointF(at), global, Qt::NoButton, Qt::LeftButton,
                            QEvent::MouseButtonRelease, Qt::NoModifier, stamp + 1);
}

void pressKey(QWidget* window, int key, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWidget* receiver = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : window;
    QWindow* surface = receiver->windowHandle();
    if (!surface)
        return;
    qt_handleKeyEvent(surface, QEvent::KeyPress, key, mods, text, false, 1);
    if (QPointer<QWindow> still = surface)
        qt_handleKeyEvent(still, QEvent::KeyRelease, key, mods, text, false, 1);
}

// Types `text` into the control with the focus, one key a character, as the
// input panel does.
void typeText(const QPointer<QWidget>& window, const QString& text)
{
    for (int i = 0; i < text.size() && window; ++i) {
        const QChar c = text[i];
        const int key = c == QLatin1Char('\n') ? int{Qt::Key_Return} : int{c.toUpper().unicode()};
        pressKey(window, key, c == QLatin1Char('\n') ? QString() : QString(c));
    }
}

// Whether the control with the focus edits text, so that selecting all of
// it and typing replaces what it holds.
bool takesText(const QWidget* focus)
{
    return qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QTextEdit*>(focus) ||
           qobject_cast<const QPlainTextEdit*>(focus) || qobject_cast<const QAbstractSpinBox*>(focus);
}

// Answers the request once the program has settled.
class Settler : public QObject {
public:
    // `answer` answers the request once the program has settled; without one it is answered "ok".
    Settler(std::shared_ptr<Request> request, std::function<void(Request&)> answer)
        : m_request(std::move(request)), m_answer(std::move(answer))
    {
        m_timer.setInterval(kWatchTurnMs);
        connect(&m_timer, &QTimer::timeout, this, &Settler::turn);
        m_timer.start();
    }

    // Something went wrong while delivering: answer with it at once.
    void fail(const std::string& reason)
    {
        m_request->fail(reason);
        finish();
    }

private:
    void turn()
    {
        MSG waiting;
        const bool busy = PeekMessage(&waiting, nullptr, 0, 0, PM_NOREMOVE);
        m_quiet = busy ? 0 : m_quiet + 1;
        m_elapsed += kWatchTurnMs;
        if (m_quiet < kQuietTurns && m_elapsed < kLongestSettleMs)
            return;
        if (m_answer)
            m_answer(*m_request);
        else
            m_request->ok();
        finish();
    }

    void finish()
    {
        m_timer.stop();
        deleteLater();
    }

    std::shared_ptr<Request> m_request;
    std::function<void(Request&)> m_answer;
    QTimer m_timer;
    int m_quiet = 0;
    int m_elapsed = 0;
};

int navigationKey(const std::string& name, const QWidget* focus)
{
    if (name == "left")
        return Qt::Key_Left;
    if (name == "right")
        return Qt::Key_Right;
    if (name == "up")
        return Qt::Key_Up;
    if (name == "down")
        return Qt::Key_Down;
    if (name == "action") {
        // The action key presses what has the focus: a button's or a
        // closed list's own key for it, else Enter.
        if (qobject_cast<const QAbstractButton*>(focus) || qobject_cast<const QComboBox*>(focus))
            return Qt::Key_Space;
        return Qt::Key_Return;
    }
    return 0;
}

// The key `name` stands for, and the text it types.
std::pair<int, QString> qtKey(const std::string& name, const QWidget* focus)
{
    // The keys of the phone's input panel.
    if (name == "backspace")
        return {Qt::Key_Backspace, QString()};
    if (name == "enter")
        return {Qt::Key_Return, QString()};
    if (name == "space")
        return {Qt::Key_Space, QStringLiteral(" ")};
    return {navigationKey(name, focus), QString()};
}

// Opens the soft key's menu named by the path's first label and chooses the
// item the other labels name, through the open menus as a person would.
std::string chooseFromMenu(QWidget* window, const QStringList& labels)
{
    QWidget* bar = softKeyBar(window);
    if (!bar)
        return "the window has no soft keys";
    QPushButton* key = nullptr;
    for (int k = 0; k < 2 && !key; ++k) {
        auto* button = bar->findChild<QPushButton*>(QStringLiteral("softkey%1").arg(k));
        if (button && sameText(button->text(), labels.front(), Qt::CaseInsensitive))
            key = button;
    }
    if (!key)
        return "no soft key shows " + q(labels.front());
    if (!key->isEnabled())
        return "the soft key " + q(labels.front()) + " is disabled";
    penTap(window, placeIn(window, key).center());
    for (int i = 1; i < labels.size(); ++i) {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return "no menu opened under " + q(labels.mid(0, i).join(QLatin1Char('/')));
        QAction* found = nullptr;
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && action->isVisible() && sameText(action->text(), labels[i], Qt::CaseInsensitive))
                found = action;
        if (!found || !found->isEnabled()) {
            const std::string reason = std::string(found ? "the menu item " : "the menu has no item ") + q(labels[i]) +
                                       (found ? " is disabled" : "");
            for (QWidget* popup : openPopups())
                popup->close();
            return reason;
        }
        // The highlighted item opens its menu or is chosen with the action key.
        menu->setActiveAction(found);
        if (!found->menu())
            pressKey(window, Qt::Key_Return);
    }
    if (labels.size() == 1 && QApplication::activePopupWidget())
        return {};  // the menu stays open for the person to look at
    return {};
}

bool answerRequest(const std::shared_ptr<Request>& request)
{
    QWidget* window = foregroundWindow();
    if (!window || !window->windowHandle())
        return false;  // the window layer's own windows, if any
    const std::vector<std::string>& w = request->words();
    const std::string& verb = w[0];
    if (verb == "screen" && w.size() == 1) {
        new Settler(request, [](Request& r) {
            QWidget* now = foregroundWindow();
            return now ? r.ok(describe(now)) : r.fail("the program shows no window");
        });
        return true;
    }
    if (verb == "shot" && w.size() == 1) {
        new Settler(request, [](Request& r) {
            QWidget* now = foregroundWindow();
            const std::string png = now ? pictureOf(now) : std::string();
            return png.empty() ? r.fail("the window could not be drawn into a picture") : r.ok(png);
        });
        return true;
    }

    // Inputs: find the target now, deliver it from the event loop, answer once settled.
    std::function<std::string()> deliver;
    QPointer<QWidget> target = window;
    long x = 0, y = 0, id = 0;
    if (verb == "tap" && w.size() == 3 && window::remote::parseNumber(w[1], x) &&
        window::remote::parseNumber(w[2], y)) {
        if (!window->rect().contains(static_cast<int>(x), static_cast<int>(y))) {
            request->fail("the point " + w[1] + "," + w[2] + " is outside the window");
            return true;
        }
        const QPoint at(static_cast<int>(x), static_cast<int>(y));
        deliver = [target, at] {
            if (target)
                penTap(target, at);
            return std::string();
        };
    } else if (verb == "tap-id" && w.size() == 2 && window::remote::parseNumber(w[1], id)) {
        QWidget* control = controlWithId(window, id);
        if (!control) {
            request->fail("there is no control " + w[1] + " on the screen");
            return true;
        }
        const QPoint at = placeIn(window, control).center();
        deliver = [target, at] {
            if (target)
                penTap(target, at);
            return std::string();
        };
    } else if (verb == "tap-text" && w.size() == 2) {
        std::optional<QPoint> at;
        for (const std::string& text : window::remote::meantTexts(w[1]))
            if (!at)
                at = placeShowing(window, QString::fromStdString(text));
        if (!at) {
            request->fail("nothing on the screen shows " + inQuotes(w[1]));
            return true;
        }
        deliver = [target, at] {
            if (target)
                penTap(target, *at);
            return std::string();
        };
    } else if (verb == "key" && w.size() == 2) {
        const std::string name = w[1];
        if (name == "softkey1" || name == "softkey2") {
            QWidget* bar = softKeyBar(window);
            auto* key = bar ? bar->findChild<QPushButton*>(QStringLiteral("softkey%1").arg(name == "softkey1" ? 0 : 1))
                            : nullptr;
            if (!key) {
                request->fail("the window has no soft keys");
                return true;
            }
            const QPoint at = placeIn(window, key).center();
            deliver = [target, at] {
                if (target)
                    penTap(target, at);
                return std::string();
            };
        } else {
            if (!qtKey(name, nullptr).first) {
                request->fail("unknown key " + inQuotes(name));
                return true;
            }
            deliver = [target, name] {
                if (target) {
                    const auto [key, text] = qtKey(name, QApplication::focusWidget());
                    pressKey(target, key, text);
                }
                return std::string();
            };
        }
    } else if (verb == "text" && w.size() == 2) {
        if (!QApplication::focusWidget()) {
            request->fail("no control has the focus");
            return true;
        }
        const QString text = QString::fromStdString(w[1]);
        deliver = [target, text] {
            typeText(target, text);
            return std::string();
        };
    } else if (verb == "replace-text" && w.size() == 2) {
        if (!takesText(QApplication::focusWidget())) {
            request->fail(QApplication::focusWidget() ? "the control with the focus takes no text"
                                                      : "no control has the focus");
            return true;
        }
        const QString text = QString::fromStdString(w[1]);
        deliver = [target, text] {
            // Select all, then the first key typed replaces it; with nothing
            // to type, the selection is deleted.
            if (target)
                pressKey(target, Qt::Key_A, QStringLiteral("\x01"), Qt::ControlModifier);
            if (text.isEmpty() && target)
                pressKey(target, Qt::Key_Backspace);
            typeText(target, text);
            return std::string();
        };
    } else if (verb == "choose" && w.size() == 3 && window::remote::parseNumber(w[1], id)) {
        QWidget* control = controlWithId(window, id);
        if (!control) {
            request->fail("there is no control " + w[1] + " on the screen");
            return true;
        }
        QStringList meant;
        for (const std::string& text : window::remote::meantTexts(w[2]))
            meant.push_back(QString::fromStdString(text));
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            int index = -1;
            for (const QString& wanted : meant) {
                if (index < 0)
                    index = combo->findText(wanted, Qt::MatchExactly);
                if (index < 0)
                    index = combo->findText(wanted.trimmed(), Qt::MatchFixedString);
            }
            if (index < 0) {
                request->fail("the combo box " + w[1] + " has no item " + inQuotes(w[2]));
                return true;
            }
            if (!combo->isEnabled()) {
                request->fail("the combo box " + w[1] + " is disabled");
                return true;
            }
            QPointer<QComboBox> box = combo;
            deliver = [box, index] {
                // What the list does when a person taps one of its items.
                if (box) {
                    box->setFocus(Qt::MouseFocusReason);
                    box->setCurrentIndex(index);
                    emit box->activated(index);
                    emit box->textActivated(box->itemText(index));
                }
                return std::string();
            };
        } else if (auto* view = qobject_cast<QAbstractItemView*>(control)) {
            std::optional<QModelIndex> found;
            for (const QString& wanted : meant)
                for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive})
                    for (const Row& row : rowsOf(view))
                        if (!found && sameText(row.text, wanted, cs))
                            found = row.index;
            if (!found) {
                request->fail("the list " + w[1] + " has no row " + inQuotes(w[2]));
                return true;
            }
            view->scrollTo(*found);
            const QPoint at = placeIn(window, view->viewport()).topLeft() + view->visualRect(*found).center();
            deliver = [target, at] {
                if (target)
                    penTap(target, at);
                return std::string();
            };
        } else {
            request->fail("the control " + w[1] + " is neither a combo box nor a list");
            return true;
        }
    } else if (verb == "menu" && w.size() == 2) {
        const QStringList labels = QString::fromStdString(w[1]).split(QLatin1Char('/'));
        if (labels.contains(QString())) {
            request->fail("the menu path " + inQuotes(w[1]) + " has an empty label");
            return true;
        }
        deliver = [target, labels] { return target ? chooseFromMenu(target, labels) : std::string(); };
    } else {
        return false;  // the window layer reports what it does not know
    }

    auto* settler = new Settler(request, {});
    QPointer<Settler> watch = settler;
    QTimer::singleShot(0, [watch, deliver] {
        const std::string problem = deliver();
        if (!problem.empty() && watch)
            watch->fail(problem);
    });
    return true;
}

}  // namespace

void serveScreenRequests()
{
    window::remote::setHandler(&answerRequest);
}

}  // namespace handset::ui
