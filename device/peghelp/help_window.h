// The help viewer's window: a phone-sized form with the document's title
// in a bar at the top and the page below it, scrolled to the section asked
// for.
#pragma once

#include <filesystem>
#include <string>

#include <QString>
#include <QWidget>

class QLabel;
class QTextBrowser;
class QUrl;

namespace peghelp {

// The form's size in the phone's logical pixels; Qt scales it on displays
// of more than 96 DPI.
constexpr int kWindowWidth = 240;
constexpr int kWindowHeight = 320;
constexpr int kTitleBarHeight = 26;

class HelpWindow : public QWidget {
public:
    // Loads the document at `file` (HTML, or plain text for other names);
    // `section` names an anchor of it to scroll to (empty: the top).
    HelpWindow(const std::filesystem::path& file, const std::u16string& section);

    // The document's own title, or its file name when it has none.
    QString documentTitle() const;
    QTextBrowser* browser() const { return browser_; }
    QLabel* titleBar() const { return title_; }

    // A link of the page: a place in a help page is shown here; a web
    // address or mail link is opened with the shell's "Open", as the phone's
    // viewer hands them to the browser.
    void followLink(const QUrl& link);

private:
    QLabel* title_ = nullptr;
    QTextBrowser* browser_ = nullptr;
};

}  // namespace peghelp
