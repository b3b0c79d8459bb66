// Message boxes answered by a script, a presenter, the terminal or nobody.
#include <handset/msgbox.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <mutex>
#include <string>
#include <unistd.h>

#include <handset/log.h>
#include <handset/wstring.h>

namespace {

struct Answerers {
    std::mutex mutex;
    std::deque<int> scripted;
    std::string environment;                  // the variable's text when it was last read
    std::deque<std::string> fromEnvironment;  // its words not used yet, checked against each box
    handset::MessageBoxPresenter presenter;
};

Answerers& answerers()
{
    static Answerers instance;
    return instance;
}

bool offers(const std::vector<int>& buttons, int answer)
{
    return std::find(buttons.begin(), buttons.end(), answer) != buttons.end();
}

std::string trimmed(std::string text)
{
    const auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
    text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
    return text;
}

std::string describeButtons(const std::vector<int>& buttons)
{
    std::string text;
    for (int button : buttons)
        text += (text.empty() ? "" : "/") + std::string(handset::messageBoxAnswerName(button));
    return text;
}

// The next scripted answer, or 0 when there is none; `source` says where it came from.
int scriptedAnswer(const std::vector<int>& buttons, std::string& source)
{
    Answerers& a = answerers();
    std::lock_guard lock(a.mutex);
    if (!a.scripted.empty()) {
        const int answer = a.scripted.front();
        a.scripted.pop_front();
        source = "script";
        return answer;
    }
    // The words are read once; a process that sets the variable anew starts
    // again from its first word.
    const char* words = std::getenv("HANDSET_MSGBOX_ANSWERS");
    if (a.environment != (words ? words : "")) {
        a.environment = words ? words : "";
        a.fromEnvironment.clear();
        const std::string& list = a.environment;
        for (std::size_t start = 0; start <= list.size();) {
            std::size_t end = list.find(',', start);
            if (end == std::string::npos)
                end = list.size();
            const std::string word = trimmed(list.substr(start, end - start));
            if (!word.empty())
                a.fromEnvironment.push_back(word);
            start = end + 1;
        }
    }
    if (!a.fromEnvironment.empty()) {
        const std::string word = a.fromEnvironment.front();
        a.fromEnvironment.pop_front();
        source = "HANDSET_MSGBOX_ANSWERS";
        const int answer = handset::messageBoxAnswerFromName(word);
        return answer != 0 ? answer : -1;  // -1: a word that names no answer
    }
    return 0;
}

// Asks on the terminal until the user names one of the buttons; an empty
// line takes the default button, the end of input nobody's answer.
int askOnTerminal(std::u16string_view text, std::u16string_view caption, const std::vector<int>& buttons,
                  int defaultButton, int nobodysAnswer)
{
    std::cerr << handset::toUtf8(caption) << ": " << handset::toUtf8(text) << '\n';
    for (;;) {
        std::cerr << "[" << describeButtons(buttons) << "] (default "
                  << handset::messageBoxAnswerName(defaultButton) << ")? " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line))
            return nobodysAnswer;
        line = trimmed(line);
        if (line.empty())
            return defaultButton;
        const int answer = handset::messageBoxAnswerFromName(line);
        if (offers(buttons, answer))
            return answer;
        // A first letter is enough when it names exactly one button.
        int byLetter = 0, count = 0;
        for (int button : buttons) {
            const std::string_view name = handset::messageBoxAnswerName(button);
            if (line.size() == 1 && std::tolower(static_cast<unsigned char>(name[0])) ==
                                        std::tolower(static_cast<unsigned char>(line[0]))) {
                byLetter = button;
                ++count;
            }
        }
        if (count == 1)
            return byLetter;
    }
}

}  // namespace

int MessageBox(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType)
{
    const std::vector<int> buttons = handset::messageBoxButtons(uType);
    const std::u16string text = lpText ? std::u16string(lpText) : std::u16string();
    const std::u16string caption = lpCaption ? std::u16string(lpCaption) : std::u16string(u"Error");
    const std::string shown = "\"" + handset::toUtf8(caption) + "\": \"" + handset::toUtf8(text) + "\"";
    if (buttons.empty()) {
        handset::logLine("msgbox", shown + " refused: no such buttons (type 0x" +
                                       [&] {
                                           char hex[16];
                                           std::snprintf(hex, sizeof hex, "%X", uType);
                                           return std::string(hex);
                                       }() +
                                       ")");
        return 0;
    }
    const int defaultButton = handset::messageBoxDefaultButton(uType);

    std::string source;
    int answer = scriptedAnswer(buttons, source);
    if (answer != 0 && !offers(buttons, answer)) {
        handset::logLine("msgbox", shown + " [" + describeButtons(buttons) + "]: the scripted answer from " + source +
                                       " is not one of its buttons");
        answer = handset::messageBoxNobodysAnswer(uType);
        source = "nobody";
    }
    if (answer == 0) {
        handset::MessageBoxPresenter presenter;
        {
            std::lock_guard lock(answerers().mutex);
            presenter = answerers().presenter;
        }
        if (presenter) {
            answer = presenter(hWnd, text, caption, uType);
            source = "presenter";
            if (!offers(buttons, answer))
                answer = 0;
        }
    }
    if (answer == 0 && ::isatty(STDIN_FILENO)) {
        answer = askOnTerminal(text, caption, buttons, defaultButton, handset::messageBoxNobodysAnswer(uType));
        source = "terminal";
    }
    if (answer == 0) {
        answer = handset::messageBoxNobodysAnswer(uType);
        source = "nobody";
    }
    handset::logLine("msgbox", shown + " [" + describeButtons(buttons) + "]: " +
                                   std::string(handset::messageBoxAnswerName(answer)) + " (" + source + ")");
    return answer;
}

namespace handset {

void scriptMessageBoxAnswers(std::vector<int> answers)
{
    std::lock_guard lock(answerers().mutex);
    answerers().scripted.insert(answerers().scripted.end(), answers.begin(), answers.end());
}

void clearMessageBoxAnswers()
{
    std::lock_guard lock(answerers().mutex);
    answerers().scripted.clear();
}

void setMessageBoxPresenter(MessageBoxPresenter presenter)
{
    std::lock_guard lock(answerers().mutex);
    answerers().presenter = std::move(presenter);
}

int messageBoxAnswerFromName(std::string_view name)
{
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, int> names[] = {{"ok", IDOK},       {"cancel", IDCANCEL}, {"abort", IDABORT},
                                                        {"retry", IDRETRY}, {"ignore", IDIGNORE}, {"yes", IDYES},
                                                        {"no", IDNO}};
    for (const auto& [word, answer] : names)
        if (lower == word)
            return answer;
    return 0;
}

std::vector<int> messageBoxButtons(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {};
    }
}

int messageBoxNobodysAnswer(UINT type)
{
    const std::vector<int> buttons = messageBoxButtons(type);
    for (int answer : {IDCANCEL, IDNO, IDABORT})
        if (offers(buttons, answer))
            return answer;
    return buttons.empty() ? 0 : buttons.front();
}

int messageBoxDefaultButton(UINT type)
{
    const std::vector<int> buttons = messageBoxButtons(type);
    const std::size_t index = (type & MB_DEFMASK) >> 8;
    return buttons.empty() ? 0 : buttons[index < buttons.size() ? index : 0];
}

std::string_view messageBoxAnswerName(int answer)
{
    switch (answer) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "?";
    }
}

}  // namespace handset
