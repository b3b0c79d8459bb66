// peghelp.exe as programs start it (a real process, its start in the log,
// its exit code), where it looks for a help file, and its window on
// Tonquil's own help file, offscreen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <QApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <handset/device.h>
#include <handset/errors.h>
#include <handset/log.h>
#include <handset/process.h>
#include <handset/wstring.h>

#include "help_file.h"
#include "help_window.h"
#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;
using handset::testing::slurp;

constexpr const char16_t* kViewer = u"\\Windows\\peghelp.exe";

void writeFile(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

std::string page(const std::string& title)
{
    return "<html><head><title>" + title + "</title></head><body><p>" + title + "</p></body></html>";
}

class PeghelpTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        fs_ = device_.root() / "fs";
        fs::copy_file(PEGHELP_EXE, fs_ / "Windows" / "peghelp.exe");
        // The tests have no display; the viewer must see none either.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }

    // Starts the viewer as the phone's programs do and waits for its end.
    DWORD run(const std::u16string& commandLine)
    {
        PROCESS_INFORMATION process{};
        if (!CreateProcess(kViewer, commandLine.c_str(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, nullptr,
                           &process)) {
            ADD_FAILURE() << "CreateProcess: " << GetLastError();
            return 0xdeadbeef;
        }
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 60000)) << "the viewer did not end";
        DWORD exitCode = 0xdeadbeef;
        EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &exitCode));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return exitCode;
    }

    std::string log() { return slurp(handset::deviceLogPath()); }

    fs::path fs_;
};

// Tonquil's own start of its help, with the real help file in "\Windows":
// the start is logged on "exec", the page on "help", and without a display
// the viewer ends at once with 0.
TEST_F(PeghelpTest, OpensTonquilsHelpFromWindowsAndEndsWithoutADisplay)
{
    fs::copy_file(TONQUIL_HELP_FILE, fs_ / "Windows" / "tonquil.htm");
    EXPECT_EQ(0u, run(u"tonquil.htm"));
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("exec: \"\\Windows\\peghelp.exe\" tonquil.htm\n")) << text;
    EXPECT_NE(std::string::npos, text.find("help: opened \"\\Windows\\tonquil.htm\" (\"Tonquil Help\")\n")) << text;
    EXPECT_NE(std::string::npos, text.find("help: no display: closed at once\n")) << text;
}

// Failures end the viewer with the Win32 code of the reason, and say why in
// the log; none of them shows anything.
TEST_F(PeghelpTest, ReportsWhatItCannotOpenByItsExitCode)
{
    struct Case {
        std::u16string commandLine;
        DWORD exitCode;
        std::string logged;
    };
    const Case cases[] = {
        {u"nothere.htm", ERROR_FILE_NOT_FOUND, "help: cannot find \"nothere.htm\" in \\Windows or \\Program Files"},
        {u"\\My Documents\\gone.htm", ERROR_FILE_NOT_FOUND, "help: cannot find \"\\My Documents\\gone.htm\""},
        {u"", ERROR_INVALID_PARAMETER, "help: no help file was named"},
        {u"  #top ", ERROR_INVALID_PARAMETER, "help: no help file was named"},
        {u"..\\..\\registry.db", ERROR_PATH_NOT_FOUND, "help: cannot look for \"..\\..\\registry.db\" (error 3)"},
        {u"\\..\\registry.db", ERROR_PATH_NOT_FOUND, "help: cannot look for \"\\..\\registry.db\" (error 3)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(handset::toUtf8(c.commandLine));
        EXPECT_EQ(c.exitCode, run(c.commandLine));
        EXPECT_NE(std::string::npos, log().find(c.logged)) << log();
    }
    EXPECT_EQ(std::string::npos, log().find("help: opened"));
}

// The search order: "\Windows" first, then the programs' folders in name
// order; a folder or an unrelated file of that name does not count, and
// the name is matched without regard to case, as the phone's file system
// does.
TEST_F(PeghelpTest, LooksInWindowsThenInTheProgramFolders)
{
    writeFile(fs_ / "Program Files" / "Zeta" / "app.htm", page("Zeta"));
    writeFile(fs_ / "Program Files" / "Alpha" / "APP.HTM", page("Alpha"));
    fs::create_directories(fs_ / "Program Files" / "Aardvark" / "app.htm");
    writeFile(fs_ / "Program Files" / "stray.htm", page("Stray"));

    peghelp::HelpFile found = peghelp::findHelpFile(u"app.htm");
    EXPECT_EQ(0u, found.error);
    EXPECT_EQ(u"\\Program Files\\Alpha\\app.htm", found.devicePath);
    EXPECT_TRUE(fs::equivalent(fs_ / "Program Files" / "Alpha" / "APP.HTM", found.hostPath));

    writeFile(fs_ / "Windows" / "app.htm", page("Windows"));
    found = peghelp::findHelpFile(u" \"app.htm#Part Two\" ");
    EXPECT_EQ(0u, found.error);
    EXPECT_EQ(u"\\Windows\\app.htm", found.devicePath);
    EXPECT_EQ(u"Part Two", found.section);

    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), peghelp::findHelpFile(u"stray.htm").error)
        << "only the programs' own folders are searched";

    // The whole road once, from the installed program's folder, with a
    // section: the log names the file and the place asked for.
    writeFile(fs_ / "Program Files" / "Tonquil" / "tonquil.htm", slurp(TONQUIL_HELP_FILE));
    EXPECT_EQ(0u, run(u"tonquil.htm#schedule"));
    EXPECT_NE(std::string::npos,
              log().find("help: opened \"\\Program Files\\Tonquil\\tonquil.htm#schedule\" (\"Tonquil Help\")"))
        << log();
}

// The window, built offscreen in this process as the viewer builds it.
class HelpWindowTest : public PeghelpTest {
protected:
    static void SetUpTestSuite()
    {
        if (QApplication::instance())
            return;
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "peghelp_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
    }
};

// Tonquil's help page: phone-sized, titled, every contents link leads to a
// section of the page, and a section asked for is scrolled to.
TEST_F(HelpWindowTest, ShowsTonquilsHelpWithWorkingContents)
{
    peghelp::HelpWindow top(TONQUIL_HELP_FILE, u"");
    EXPECT_EQ(QSize(peghelp::kWindowWidth, peghelp::kWindowHeight), top.size());
    EXPECT_EQ(QStringLiteral("Tonquil Help"), top.documentTitle());
    EXPECT_EQ(QStringLiteral("Tonquil Help"), top.titleBar()->text());
    QTextDocument* document = top.browser()->document();
    EXPECT_FALSE(document->toPlainText().contains(QLatin1Char('<'))) << "no markup shows as text";

    // Every link of the page that points into it has its anchor.
    const QString html = slurp(TONQUIL_HELP_FILE).c_str();
    std::set<QString> anchors;
    for (const auto& m : QRegularExpression(QStringLiteral("name=\"([^\"]+)\"")).globalMatch(html))
        anchors.insert(m.captured(1));
    int links = 0;
    for (const auto& m : QRegularExpression(QStringLiteral("href=\"#([^\"]+)\"")).globalMatch(html)) {
        SCOPED_TRACE(m.captured(1).toStdString());
        EXPECT_EQ(1u, anchors.count(m.captured(1)));
        ++links;
    }
    EXPECT_GE(links, 5);

    // Opened at a section, the page is scrolled down to it; following a
    // contents link does the same in an open window.
    top.show();
    QApplication::processEvents();
    EXPECT_EQ(0, top.browser()->verticalScrollBar()->value());
    EXPECT_GT(top.browser()->verticalScrollBar()->maximum(), 0) << "the page is longer than the screen";
    top.followLink(QUrl(QStringLiteral("#files")));
    QApplication::processEvents();
    EXPECT_GT(top.browser()->verticalScrollBar()->value(), 0);

    peghelp::HelpWindow atSchedule(TONQUIL_HELP_FILE, u"schedule");
    atSchedule.show();
    QApplication::processEvents();
    EXPECT_GT(atSchedule.browser()->verticalScrollBar()->value(), 0);
}

// A page without a title is named by its file.
TEST_F(HelpWindowTest, NamesAnUntitledPageByItsFile)
{
    writeFile(fs_ / "Windows" / "plain.htm", "<html><body><p>No title here.</p></body></html>");
    peghelp::HelpWindow window(fs_ / "Windows" / "plain.htm", u"");
    EXPECT_EQ(QStringLiteral("plain.htm"), window.documentTitle());
    EXPECT_EQ(QStringLiteral("No title here."), window.browser()->document()->toPlainText().trimmed());
}

}  // namespace
