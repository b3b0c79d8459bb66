// DIALOG and MENU resources: the text blocks of a module's .res file, read
// when a dialog or menu is loaded.
//
// A DIALOG block:
//
//   <id> DIALOG "Caption"
//     <KIND> "text" <id> <x> <y> <width> <height> [FLAG ...]
//     ITEMS <id> "first" "second" ...
//   END
//
// Kinds: LTEXT, CTEXT, RTEXT (labels; they wrap unless NOWRAP), GROUPBOX,
// PUSHBUTTON, DEFPUSHBUTTON, CHECKBOX, COMBOBOX (a drop-down list),
// LISTBOX, LISTVIEW (a list view in report view), TIMEPICKER (a time of
// day), PICTURE (its text is the id of a BITMAP resource), EDITTEXT. Flags:
// HIDDEN (made without the visible style), DISABLED, OWNERDRAW (a button or
// list view rows its object draws), SORT (a list, list view or combo box
// kept in text order), VSCROLL, BORDER, NOWRAP, LEFT (a button's text
// left-aligned), and for a list view NOHEADER, SINGLESEL, SHOWSELALWAYS and
// NOSCROLL; NOTIFY (a label or picture that reports
// taps, SS_NOTIFY). The id of a
// control without one is -1. ITEMS fills a combo or list box when the dialog
// is made, in the order given. Positions are the phone's pixels in the
// dialog's client area. A quotation mark inside a text is written twice.
//
// A MENU block: ITEM <id> "text" [CHECKED] [GRAYED], SEPARATOR, and
// POPUP "text" ... END, nested to any depth.
#include <cctype>

#include <handset/log.h>
#include <handset/wstring.h>

#include "ui_internal.h"
#include "window_internal.h"

namespace handset::ui {
namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits a line into words and quoted texts; false for an unclosed quote.
bool tokenize(std::string_view line, std::vector<Token>& tokens)
{
    std::size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        Token token;
        if (line[i] == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '"') {
                    if (i + 1 < line.size() && line[i + 1] == '"') {
                        token.text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                token.text += line[i++];
            }
            if (!closed)
                return false;
        } else {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i])))
                token.text += line[i++];
        }
        tokens.push_back(std::move(token));
    }
    return true;
}

std::vector<std::string_view> splitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

bool number(const Token& token, int& value)
{
    if (token.quoted || token.text.empty())
        return false;
    try {
        std::size_t used = 0;
        value = std::stoi(token.text, &used, 0);
        return used == token.text.size();
    } catch (...) {
        return false;
    }
}

bool knownKind(const std::string& kind)
{
    static const char* kinds[] = {"LTEXT",    "CTEXT",   "RTEXT",      "GROUPBOX", "PUSHBUTTON", "DEFPUSHBUTTON",
                                  "CHECKBOX", "COMBOBOX", "LISTBOX",   "TIMEPICKER", "PICTURE",  "EDITTEXT",
                                  "LISTVIEW"};
    for (const char* k : kinds)
        if (kind == k)
            return true;
    return false;
}

}  // namespace

std::optional<DialogTemplate> parseDialog(std::string_view text, std::string& error)
{
    const auto lines = splitLines(text);
    DialogTemplate dialog;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        std::vector<Token> t;
        if (!tokenize(lines[n], t)) {
            error = "an unclosed quotation mark: " + std::string(lines[n]);
            return std::nullopt;
        }
        if (t.empty())
            continue;
        if (n == 0) {
            int id = 0;
            if (t.size() < 2 || !number(t[0], id) || t[1].text != "DIALOG" || t.size() > 3 ||
                (t.size() == 3 && !t[2].quoted)) {
                error = "not a dialog header: " + std::string(lines[n]);
                return std::nullopt;
            }
            dialog.id = static_cast<unsigned>(id);
            if (t.size() == 3)
                dialog.caption = fromUtf8(t[2].text);
            continue;
        }
        if (t[0].text == "END" && !t[0].quoted)
            break;
        if (t[0].text == "ITEMS") {
            int id = 0;
            if (t.size() < 2 || !number(t[1], id)) {
                error = "ITEMS needs a control id: " + std::string(lines[n]);
                return std::nullopt;
            }
            ControlTemplate* control = nullptr;
            for (auto& c : dialog.controls)
                if (c.id == id)
                    control = &c;
            if (!control) {
                error = "ITEMS for a control not yet listed: " + std::string(lines[n]);
                return std::nullopt;
            }
            for (std::size_t i = 2; i < t.size(); ++i)
                control->items.push_back(fromUtf8(t[i].text));
            continue;
        }
        ControlTemplate c;
        c.kind = t[0].text;
        if (!knownKind(c.kind) || t.size() < 7 || !t[1].quoted || !number(t[2], c.id) || !number(t[3], c.x) ||
            !number(t[4], c.y) || !number(t[5], c.width) || !number(t[6], c.height)) {
            error = "not a control line (KIND \"text\" id x y width height flags): " + std::string(lines[n]);
            return std::nullopt;
        }
        c.text = fromUtf8(t[1].text);
        for (std::size_t i = 7; i < t.size(); ++i) {
            const std::string& f = t[i].text;
            if (f == "HIDDEN") c.hidden = true;
            else if (f == "DISABLED") c.disabled = true;
            else if (f == "OWNERDRAW") c.ownerDraw = true;
            else if (f == "SORT") c.sort = true;
            else if (f == "VSCROLL") c.vscroll = true;
            else if (f == "BORDER") c.border = true;
            else if (f == "NOWRAP") c.noWrap = true;
            else if (f == "LEFT") c.leftText = true;
            else if (f == "NOHEADER") c.noHeader = true;
            else if (f == "SINGLESEL") c.singleSel = true;
            else if (f == "SHOWSELALWAYS") c.showSelAlways = true;
            else if (f == "NOSCROLL") c.noScroll = true;
            else if (f == "NOTIFY") c.notify = true;
            else {
                error = "an unknown flag " + f + ": " + std::string(lines[n]);
                return std::nullopt;
            }
        }
        dialog.controls.push_back(std::move(c));
    }
    return dialog;
}

std::unique_ptr<HMENU__> parseMenu(std::string_view text, std::string& error)
{
    const auto lines = splitLines(text);
    auto root = std::make_unique<HMENU__>();
    std::vector<HMENU__*> stack{root.get()};
    for (std::size_t n = 1; n < lines.size(); ++n) {
        std::vector<Token> t;
        if (!tokenize(lines[n], t)) {
            error = "an unclosed quotation mark: " + std::string(lines[n]);
            return nullptr;
        }
        if (t.empty())
            continue;
        HMENU__* current = stack.back();
        const std::string& word = t[0].text;
        if (word == "END") {
            stack.pop_back();
            if (stack.empty())
                return root;
            continue;
        }
        HMENU__::Item item;
        if (word == "SEPARATOR") {
            item.flags = MF_SEPARATOR;
            current->items.push_back(std::move(item));
        } else if (word == "POPUP" && t.size() == 2 && t[1].quoted) {
            item.text = fromUtf8(t[1].text);
            item.flags = MF_POPUP;
            item.id = static_cast<UINT>(-1);
            item.popup = std::make_unique<HMENU__>();
            HMENU__* popup = item.popup.get();
            current->items.push_back(std::move(item));
            stack.push_back(popup);
        } else if (word == "ITEM" && t.size() >= 3 && t[2].quoted) {
            int id = 0;
            if (!number(t[1], id)) {
                error = "an item needs its id: " + std::string(lines[n]);
                return nullptr;
            }
            item.id = static_cast<UINT>(id);
            item.text = fromUtf8(t[2].text);
            for (std::size_t i = 3; i < t.size(); ++i) {
                if (t[i].text == "CHECKED") item.flags |= MF_CHECKED;
                else if (t[i].text == "GRAYED") item.flags |= MF_GRAYED;
                else {
                    error = "an unknown flag " + t[i].text + ": " + std::string(lines[n]);
                    return nullptr;
                }
            }
            current->items.push_back(std::move(item));
        } else {
            error = "not a menu line: " + std::string(lines[n]);
            return nullptr;
        }
    }
    error = "the menu has no END";
    return nullptr;
}

std::optional<DialogTemplate> loadDialog(HINSTANCE instance, unsigned id)
{
    const ResourceEntry* e = window::findResource(instance, window::kDialogResource, id);
    if (!e)
        return std::nullopt;
    std::string error;
    auto dialog = parseDialog(std::string_view(reinterpret_cast<const char*>(e->data), e->length), error);
    if (!dialog)
        logLine("ui", "dialog " + std::to_string(id) + ": " + error);
    return dialog;
}

std::unique_ptr<HMENU__> loadMenu(HINSTANCE instance, unsigned id)
{
    const ResourceEntry* e = window::findResource(instance, window::kMenuResource, id);
    if (!e)
        return nullptr;
    std::string error;
    auto menu = parseMenu(std::string_view(reinterpret_cast<const char*>(e->data), e->length), error);
    if (!menu)
        logLine("ui", "menu " + std::to_string(id) + ": " + error);
    return menu;
}

}  // namespace handset::ui
