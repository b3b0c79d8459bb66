// Message boxes answered by a script, the environment, a presenter or
// nobody; each box and its answer in the log. The restart request.
#include <handset/msgbox.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include <handset/log.h>
#include <handset/setup.h>

#include "run_program.h"
#include "test_device.h"

namespace {

class MessageBoxTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override { ::unsetenv("HANDSET_MSGBOX_ANSWERS"); }
    void TearDown() override
    {
        handset::clearMessageBoxAnswers();
        handset::setMessageBoxPresenter({});
    }
    static std::string log() { return handset::testing::slurp(handset::deviceLogPath()); }
};

TEST_F(MessageBoxTest, ScriptedAnswersAreTakenInOrderAndLogged)
{
    handset::scriptMessageBoxAnswers({IDOK, IDCANCEL});
    EXPECT_EQ(IDOK, MessageBox(nullptr, u"Restart now?", u"Tonquil", MB_OKCANCEL | MB_ICONQUESTION));
    EXPECT_EQ(IDCANCEL, MessageBox(nullptr, u"Restart now?", u"Tonquil", MB_OKCANCEL | MB_ICONQUESTION));
    // The script is used up and the tests have no terminal: nobody answers.
    EXPECT_EQ(IDCANCEL, MessageBox(nullptr, u"Again?", u"Tonquil", MB_OKCANCEL | MB_DEFBUTTON1));
    EXPECT_EQ(IDNO, MessageBox(nullptr, u"Sure?", nullptr, MB_YESNO));
    EXPECT_EQ(IDOK, MessageBox(nullptr, u"Done.", u"Tonquil", MB_OK));

    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find("msgbox: \"Tonquil\": \"Restart now?\" [OK/Cancel]: OK (script)"));
    EXPECT_NE(std::string::npos, text.find("msgbox: \"Tonquil\": \"Restart now?\" [OK/Cancel]: Cancel (script)"));
    EXPECT_NE(std::string::npos, text.find("msgbox: \"Tonquil\": \"Again?\" [OK/Cancel]: Cancel (nobody)"));
    EXPECT_NE(std::string::npos, text.find("msgbox: \"Error\": \"Sure?\" [Yes/No]: No (nobody)"));
}

TEST_F(MessageBoxTest, AnAnswerThatIsNotABoxButtonGivesNobodysAnswer)
{
    handset::scriptMessageBoxAnswers({IDYES});
    EXPECT_EQ(IDCANCEL, MessageBox(nullptr, u"Restart?", u"Tonquil", MB_OKCANCEL));
    EXPECT_NE(std::string::npos, log().find("is not one of its buttons"));
    EXPECT_EQ(0, MessageBox(nullptr, u"Odd", u"Tonquil", 0x0000000E));
}

TEST_F(MessageBoxTest, TheEnvironmentAnswersAfterTheScriptAndBeforeThePresenter)
{
    ::setenv("HANDSET_MSGBOX_ANSWERS", "ok, Cancel", 1);
    int presented = 0;
    handset::setMessageBoxPresenter([&](HWND, std::u16string_view text, std::u16string_view caption, UINT type) {
        ++presented;
        EXPECT_EQ(u"Third", text);
        EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL), type);
        return IDRETRY;
    });
    handset::scriptMessageBoxAnswers({IDCANCEL});
    EXPECT_EQ(IDCANCEL, MessageBox(nullptr, u"First", u"T", MB_OKCANCEL));
    EXPECT_EQ(IDOK, MessageBox(nullptr, u"Second", u"T", MB_OKCANCEL));
    EXPECT_EQ(IDCANCEL, MessageBox(nullptr, u"Second", u"T", MB_OKCANCEL));
    EXPECT_EQ(IDRETRY, MessageBox(nullptr, u"Third", u"T", MB_RETRYCANCEL));
    EXPECT_EQ(1, presented);
    EXPECT_NE(std::string::npos, log().find("OK (HANDSET_MSGBOX_ANSWERS)"));
    EXPECT_NE(std::string::npos, log().find("Retry (presenter)"));
}

TEST_F(MessageBoxTest, RestartOfADeviceThatIsNotRunningIsLoggedAndSucceeds)
{
    DWORD returned = 0xdeadbeef;
    EXPECT_EQ(TRUE, KernelIoControl(IOCTL_HAL_REBOOT, nullptr, 0, nullptr, 0, &returned));
    EXPECT_EQ(0u, returned);
    EXPECT_NE(std::string::npos, log().find("reboot: restart requested; the device is not running"));

    SetLastError(0xdeadbeef);
    EXPECT_EQ(FALSE, KernelIoControl(0x01010000, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_SUPPORTED), GetLastError());
}

}  // namespace
