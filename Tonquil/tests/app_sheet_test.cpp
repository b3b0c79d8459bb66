// The application and its main sheet, driven through the real widgets on
// the offscreen platform: the tabs, the menu bar of every page and its
// commands, the check marks, help and web pages, and the end on minimise.
#include <gtest/gtest.h>

#include <fstream>

#include <QApplication>
#include <QLabel>
#include <QTabBar>
#include <QToolButton>

#include <handset/faults.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <settings/settings.h>

#include <app/main_sheet.h>
#include <app/tonquil_app.h>
#include <resource.h>

#include "run_program.h"
#include "test_device.h"

namespace {

using namespace tonquil;

DWORD storedSelector(bool& present)
{
    HKEY key = nullptr;
    DWORD value = 0, type = 0, size = sizeof value;
    present = RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles", 0, 0, &key) == ERROR_SUCCESS &&
              RegQueryValueEx(key, u"currentProfile", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size) ==
                  ERROR_SUCCESS &&
              type == REG_DWORD && size == 4;
    if (key)
        RegCloseKey(key);
    return value;
}

std::string deviceLog()
{
    return handset::testing::slurp(handset::deviceLogPath());
}

class AppSheetTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        handset::ui::ensureApplication();
        settings::resetProfiles();
    }

    // Runs the sheet with `action` inside it; the action ends it.
    void runSheet(CMainPropertySheet& sheet, std::function<void()> action)
    {
        bool ran = false;
        handset::ui::whenNextFormShown([&](CWnd*) {
            ran = true;
            action();
            if (!handset::ui::modalForms().empty() && handset::ui::modalForms().back() == &sheet)
                sheet.EndDialog(IDCANCEL);
        });
        sheet.DoModal();
        EXPECT_TRUE(ran);
    }

    // The check marks of the "Profile" popup as the user sees it opened.
    std::vector<bool> marksAfterOpening(HWND bar)
    {
        EXPECT_TRUE(handset::ui::pressSoftKey(bar, 0));
        auto menu = reinterpret_cast<HMENU>(SendMessage(bar, SHCMBM_GETMENU, 0, 0));
        std::vector<bool> marks;
        for (UINT id = res::ID_PROFILE_NORMAL; id <= res::ID_PROFILE_SCHEDULE; ++id)
            marks.push_back((GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0);
        if (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
        return marks;
    }
};

TEST_F(AppSheetTest, FourTabsInOrderOpeningOnContactsWithOnlyTheCloseButton)
{
    CMainPropertySheet sheet(u"Tonquil", nullptr, 0);
    runSheet(sheet, [&] {
        auto* tabs = qobject_cast<QTabBar*>(sheet.GetTabControl()->widget());
        ASSERT_NE(nullptr, tabs);
        ASSERT_EQ(4, tabs->count());
        EXPECT_EQ(QStringLiteral("Contacts"), tabs->tabText(0));
        EXPECT_EQ(QStringLiteral("Categories"), tabs->tabText(1));
        EXPECT_EQ(QStringLiteral("System"), tabs->tabText(2));
        EXPECT_EQ(QStringLiteral(" Profiles"), tabs->tabText(3));
        EXPECT_EQ(0, sheet.GetActiveIndex());
        EXPECT_EQ(u"Tonquil", handset::ui::navigationBarText());
        auto* navButton = sheet.widget()->findChild<QToolButton*>(QStringLiteral("navbutton"));
        ASSERT_NE(nullptr, navButton);
        EXPECT_EQ(QStringLiteral("\u2715"), navButton->text());
        // The placeholder pages show their title in bold.
        const int titles[] = {res::IDC_CONTACTS_TITLE, res::IDC_CATEGORIES_TITLE, res::IDC_SYSTEM_TITLE};
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            sheet.SetActivePage(i);
            CWnd* title = sheet.GetPage(i)->GetDlgItem(titles[i]);
            ASSERT_NE(nullptr, title);
            EXPECT_TRUE(title->widget()->font().bold());
            EXPECT_NE(nullptr, handset::ui::menuBarOf(sheet.GetPage(i)->m_hWnd));
        }
    });
}

TEST_F(AppSheetTest, ProfilePopupMarksTheSelectorForEveryValue)
{
    CMainPropertySheet sheet(u"Tonquil", nullptr, 0);
    runSheet(sheet, [&] {
        HWND bar = handset::ui::menuBarOf(sheet.contactsPage().m_hWnd);
        ASSERT_NE(nullptr, bar);
        // First run: no selector stored reads as "Normal".
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles", 0, 0, &key));
        RegDeleteValue(key, u"currentProfile");
        RegCloseKey(key);
        EXPECT_EQ((std::vector<bool>{true, false, false, false, false, false}), marksAfterOpening(bar));
        const std::int32_t values[] = {-1, 0, 1, 2, 3, 4, 7, -2};
        for (std::int32_t value : values) {
            SCOPED_TRACE(value);
            settings::writeCurrentProfile(value);
            std::vector<bool> expected(6, false);
            if (value >= 0 && value <= 4)
                expected[static_cast<std::size_t>(value)] = true;
            if (value == -1)
                expected[5] = true;
            EXPECT_EQ(expected, marksAfterOpening(bar));
        }
    });
}

TEST_F(AppSheetTest, ProfileCommandsWorkFromEveryPage)
{
    CMainPropertySheet sheet(u"Tonquil", nullptr, 0);
    runSheet(sheet, [&] {
        for (int page = 0; page < 4; ++page) {
            SCOPED_TRACE(page);
            ASSERT_TRUE(sheet.SetActivePage(page));
            HWND bar = handset::ui::menuBarOf(sheet.GetPage(page)->m_hWnd);
            ASSERT_NE(nullptr, bar);
            settings::writeCurrentProfile(7);
            ASSERT_TRUE(handset::ui::chooseMenuItem(bar, res::ID_PROFILE_SCHEDULE));
            bool present = false;
            EXPECT_EQ(0xFFFFFFFFu, storedSelector(present));
            EXPECT_TRUE(present);
            EXPECT_EQ((std::vector<bool>{false, false, false, false, false, true}), marksAfterOpening(bar));
            for (UINT id = res::ID_PROFILE_NORMAL; id <= res::ID_PROFILE_CUSTOM; ++id) {
                ASSERT_TRUE(handset::ui::chooseMenuItem(bar, id));
                EXPECT_EQ(id - res::ID_PROFILE_NORMAL, storedSelector(present));
            }
            // Choosing the marked item again writes the same value and nothing else.
            ASSERT_TRUE(handset::ui::chooseMenuItem(bar, res::ID_PROFILE_CUSTOM));
            EXPECT_EQ(4u, storedSelector(present));
        }
    });
}

TEST_F(AppSheetTest, WebPagesHelpAndTheDialogsOfTheMenu)
{
    CMainPropertySheet sheet(u"Tonquil", nullptr, 0);
    runSheet(sheet, [&] {
        HWND bar = handset::ui::menuBarOf(sheet.contactsPage().m_hWnd);
        ASSERT_TRUE(handset::ui::chooseMenuItem(bar, res::ID_GET_RING_TONES));
        ASSERT_TRUE(handset::ui::chooseMenuItem(bar, res::ID_CHECK_FOR_UPDATE));
        const std::string log = deviceLog();
        EXPECT_NE(std::string::npos, log.find("shell: open \"http://www.quorrel.example/tonquil/ringtones/\""));
        EXPECT_NE(std::string::npos, log.find("shell: open \"http://www.quorrel.example/update/?prod=TNQPPC&ver=4.0\""));
        EXPECT_EQ(1u, handset::ui::modalForms().size());  // the sheet stays open

        // Help from the Start menu starts the help viewer with the help file.
        HELPINFO info{sizeof(HELPINFO), 1, 0, nullptr, 0, {0, 0}};
        EXPECT_EQ(TRUE, SendMessage(sheet.contactsPage().m_hWnd, WM_HELP, 0, reinterpret_cast<LPARAM>(&info)));
        EXPECT_NE(std::string::npos, deviceLog().find("\"\\Windows\\peghelp.exe\" tonquil.htm"));

        // "About Tonquil" and "VIP Settings" open their dialogs; the title comes back after each.
        bool aboutShown = false;
        handset::ui::whenNextFormShown([&](CWnd* about) {
            aboutShown = true;
            EXPECT_EQ(2u, handset::ui::modalForms().size());
            handset::ui::tapNavBarButton(about->m_hWnd);
        });
        ASSERT_TRUE(handset::ui::chooseMenuItem(bar, res::ID_ABOUT));
        EXPECT_TRUE(aboutShown);
        EXPECT_EQ(u"Tonquil", handset::ui::navigationBarText());

        bool vipShown = false;
        handset::ui::whenNextFormShown([&](CWnd* vip) {
            vipShown = true;
            EXPECT_EQ(u"VIP settings", handset::ui::navigationBarText());
            SendMessage(vip->m_hWnd, WM_COMMAND, IDCANCEL, 0);
        });
        ASSERT_TRUE(handset::ui::chooseMenuItem(bar, res::ID_VIP_SETTINGS));
        EXPECT_TRUE(vipShown);
        EXPECT_EQ(u"Tonquil", handset::ui::navigationBarText());
    });
}

TEST_F(AppSheetTest, MinimisingEndsTheSheetAndKeepsWhatWasWritten)
{
    CMainPropertySheet sheet(u"Tonquil", nullptr, 0);
    handset::ui::whenNextFormShown([&](CWnd*) {
        handset::ui::chooseMenuItem(handset::ui::menuBarOf(sheet.contactsPage().m_hWnd), res::ID_PROFILE_LOUD);
        handset::ui::tapNavBarButton(sheet.m_hWnd);
    });
    EXPECT_EQ(IDCANCEL, sheet.DoModal());
    EXPECT_EQ(3, settings::readCurrentProfile());
}

TEST_F(AppSheetTest, StartSwitchesTheTodayItemBackOnAndShowsTheSheet)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Tonquil", 0,
                                            nullptr, 0, 0, nullptr, &key, nullptr));
    const DWORD off = 0;
    RegSetValueEx(key, u"Enabled", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&off), 4);
    RegCloseKey(key);
    CTonquilApp app;
    int tabs = 0;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        auto* sheet = dynamic_cast<CPropertySheet*>(form);
        ASSERT_NE(nullptr, sheet);
        tabs = sheet->GetPageCount();
        handset::ui::tapNavBarButton(form->m_hWnd);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(4, tabs);

    DWORD enabled = 0, type = 0, size = 4;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Tonquil", 0, 0, &key));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueEx(key, u"Enabled", nullptr, &type, reinterpret_cast<LPBYTE>(&enabled), &size));
    RegCloseKey(key);
    EXPECT_EQ(1u, enabled);
}

TEST_F(AppSheetTest, ContactsApplicationIsLoggedOnWhileTheSheetRunsAndReleasedAfter)
{
    CTonquilApp app;
    IPOutlookApp2* during = nullptr;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        during = contactsApplication();
        handset::ui::tapNavBarButton(form->m_hWnd);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_NE(nullptr, during);
    EXPECT_EQ(nullptr, contactsApplication());
}

// A contacts store that cannot be opened fails the logon; the application
// still shows its sheet, keeps the object it made and releases it at the end.
TEST_F(AppSheetTest, AContactsStoreThatCannotBeOpenedStillGivesTheSheet)
{
    using handset::faults::Fault;
    using handset::faults::Store;
    handset::faults::failStep(Store::Contacts, 1, Fault::IoError);
    CTonquilApp app;
    int tabs = 0;
    IPOutlookApp2* during = nullptr;
    handset::ui::whenNextFormShown([&](CWnd* form) {
        if (auto* sheet = dynamic_cast<CPropertySheet*>(form))
            tabs = sheet->GetPageCount();
        during = contactsApplication();
        handset::ui::tapNavBarButton(form->m_hWnd);
    });
    EXPECT_FALSE(app.InitInstance());
    EXPECT_GE(handset::faults::stepsTaken(Store::Contacts), 1);  // the logon reached the failing step
    handset::faults::failStep(Store::Contacts, 0, Fault::IoError);
    EXPECT_EQ(4, tabs);
    EXPECT_NE(nullptr, during);
    EXPECT_EQ(nullptr, contactsApplication());
}

}  // namespace
