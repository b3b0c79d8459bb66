// peghelp.exe, the device's help viewer: shows the help file its command
// line names ("tonquil.htm", see help_file.h) in a phone-sized window until
// the user closes it. Without a display there is nobody to read it: the
// viewer loads the page all the same, logs what it opened on channel "help"
// and ends.
//
// The exit code is 0 when the page was shown, else the Win32 code of why
// not (ERROR_FILE_NOT_FOUND for a missing file), so that a script can tell.
#include <cstdlib>
#include <string>

#include <QApplication>

#include <handset/errors.h>
#include <handset/log.h>
#include <handset/qt_host.h>
#include <handset/process.h>
#include <handset/wstring.h>

#include "help_file.h"
#include "help_window.h"

namespace {

std::string inQuotes(const std::u16string& text)
{
    return "\"" + handset::toUtf8(text) + "\"";
}

}  // namespace

int WinMain(HINSTANCE, HINSTANCE, LPWSTR lpCmdLine, int)
{
    const peghelp::HelpFile help = peghelp::findHelpFile(lpCmdLine);
    switch (help.error) {
    case 0:
        break;
    case ERROR_INVALID_PARAMETER:
        handset::logLine("help", "no help file was named");
        return static_cast<int>(help.error);
    case ERROR_FILE_NOT_FOUND:
        handset::logLine("help", "cannot find " + inQuotes(help.name) + " in \\Windows or \\Program Files");
        return static_cast<int>(help.error);
    default:
        handset::logLine("help", "cannot look for " + inQuotes(help.name) + " (error " + std::to_string(help.error) +
                                     ")");
        return static_cast<int>(help.error);
    }

    handset::prepareQt();
    int argc = 1;
    char name[] = "peghelp.exe";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);

    peghelp::HelpWindow window(help.hostPath, help.section);
    std::u16string opened = help.devicePath;
    if (!help.section.empty())
        opened += u"#" + help.section;
    handset::logLine("help", "opened " + inQuotes(opened) + " (" + inQuotes(window.documentTitle().toStdU16String()) +
                                 ")");
    if (QApplication::platformName() == QStringLiteral("offscreen")) {
        handset::logLine("help", "no display: closed at once");
        return 0;
    }
    window.show();
    application.exec();
    handset::logLine("help", "closed");
    return 0;
}
