// The Today item as the Today screen sees it: the real library loaded by
// ordinal, its window a child of a stand-in Today screen window.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/clock.h>
#include <handset/device.h>
#include <handset/loader.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <handset/resources.h>
#include <handset/today.h>
#include <handset/wstring.h>
#include <settings/quiet_hours.h>
#include <settings/settings.h>

#include "test_device.h"

namespace {

constexpr COLORREF kText = RGB(1, 2, 3);
constexpr COLORREF kHighlight = RGB(10, 20, 200);
constexpr COLORREF kHighlightedText = RGB(250, 250, 250);

struct HostSeen {
    UINT message;
    WPARAM wParam;
};
std::vector<HostSeen> gHost;

LRESULT CALLBACK hostProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case TODAYM_GETCOLOR:
        gHost.push_back({message, wParam});
        return wParam == TODAYCOLOR_HIGHLIGHT ? kHighlight
               : wParam == TODAYCOLOR_HIGHLIGHTEDTEXT ? kHighlightedText
                                                      : kText;
    case TODAYM_TOOKSELECTION:
    case TODAYM_DRAWWATERMARK:
        gHost.push_back({message, wParam});
        return 0;
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

bool hostGot(UINT message, WPARAM wParam)
{
    for (const HostSeen& s : gHost)
        if (s.message == message && s.wParam == wParam)
            return true;
    return false;
}

class TodayItemTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        gHost.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = hostProc;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = u"TestToday";
        ASSERT_NE(0, RegisterClass(&wc));
        host = CreateWindow(u"TestToday", u"", WS_VISIBLE, 0, 0, 240, 320, nullptr, nullptr, nullptr, nullptr);
        const std::u16string path = handset::fromUtf8(TOLVANE_DLL);
        library = LoadLibrary(path.c_str());
        ASSERT_NE(nullptr, library);
        auto init = reinterpret_cast<PFNCUSTOMINITIALIZEITEM>(GetProcAddress(library, MAKEINTRESOURCE(240)));
        ASSERT_NE(nullptr, init);
        item = init(&record, host);
        ASSERT_NE(nullptr, item);
        handset::pumpMessages();
    }
    void TearDown() override
    {
        DestroyWindow(host);
        handset::pumpMessages();
        if (library)
            FreeLibrary(library);
        UnregisterClass(u"TestToday", nullptr);
        DeviceTest::TearDown();
    }

    BOOL refresh() { return static_cast<BOOL>(SendMessage(item, WM_TODAYCUSTOM_QUERYREFRESHCACHE,
                                                          reinterpret_cast<WPARAM>(&record), 0)); }
    std::string shown()
    {
        InvalidateRect(item, nullptr, TRUE);
        handset::pumpMessages();
        return handset::toUtf8(handset::paintedText(item));
    }
    // A program at the device path, so that the start really happens.
    static void installProgram(std::u16string_view devicePath)
    {
        const auto file = handset::mapDevicePath(devicePath);
        ASSERT_TRUE(file);
        std::filesystem::create_directories(file->parent_path());
        std::ofstream(*file) << "#!/bin/sh\nexit 0\n";
        std::filesystem::permissions(*file, std::filesystem::perms::owner_all);
    }
    static std::string log()
    {
        std::ifstream in(handset::deviceLogPath());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    TODAYLISTITEM record{};
    HWND host = nullptr;
    HMODULE library = nullptr;
    HWND item = nullptr;
};

TEST_F(TodayItemTest, LibraryGivesItsEntryByOrdinalOnlyAndAOneLineWindow)
{
    EXPECT_EQ(nullptr, GetProcAddress(library, u"InitializeCustomItem"));
    EXPECT_EQ(host, GetParent(item));
    WCHAR title[16];
    EXPECT_EQ(7, GetWindowText(item, title, 16));
    EXPECT_EQ(u"Tonquil", std::u16string(title));
    RECT rc;
    ASSERT_TRUE(GetClientRect(item, &rc));
    EXPECT_EQ(240, rc.right);
    EXPECT_EQ(0, rc.bottom);
}

TEST_F(TodayItemTest, FirstRefreshQueryReportsAChangeAndSetsTheHeight)
{
    EXPECT_EQ(0u, record.cyp);
    EXPECT_TRUE(refresh());
    EXPECT_EQ(20u, record.cyp);
    EXPECT_FALSE(refresh());
    // A height the screen already knows is left alone.
    record.cyp = 33;
    EXPECT_FALSE(refresh());
    EXPECT_EQ(33u, record.cyp);
}

TEST_F(TodayItemTest, TextNamesTheSelectedProfile)
{
    MoveWindow(item, 0, 30, 240, 20, FALSE);
    const char* names[] = {"Normal", "Discreet", "Silent", "Loud", "Custom"};
    for (int selector = 0; selector < 5; ++selector) {
        SCOPED_TRACE(selector);
        settings::writeCurrentProfile(selector);
        EXPECT_TRUE(refresh());
        EXPECT_EQ(std::string("Tonquil profile: ") + names[selector], shown());
    }
    // A selector no writer makes shows no text at all.
    settings::writeCurrentProfile(9);
    EXPECT_TRUE(refresh());
    EXPECT_EQ("", shown());
}

TEST_F(TodayItemTest, ScheduleTextFollowsTheDeviceClock)
{
    MoveWindow(item, 0, 30, 240, 20, FALSE);
    const settings::ScheduleEntry schedule[] = {{7 * 60, 0}, {22 * 60, 2}};
    settings::writeSchedule(schedule, 2);
    settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);

    ASSERT_TRUE(handset::setClockTimeOfDay(23, 0));
    EXPECT_TRUE(refresh());
    EXPECT_EQ("Tonquil profile: Schedule (Silent)", shown());
    ASSERT_TRUE(handset::setClockTimeOfDay(3, 0));
    EXPECT_FALSE(refresh());
    EXPECT_EQ("Tonquil profile: Schedule (Silent)", shown());
    ASSERT_TRUE(handset::setClockTimeOfDay(7, 1));
    EXPECT_TRUE(refresh());
    EXPECT_EQ("Tonquil profile: Schedule (Normal)", shown());
    EXPECT_FALSE(refresh());
}

TEST_F(TodayItemTest, ATimedProfileShowsUntilItEndsOrAKeyChoosesAnother)
{
    MoveWindow(item, 0, 30, 240, 20, FALSE);
    settings::writeCurrentProfile(0);
    ASSERT_TRUE(handset::setClockTimeOfDay(14, 0));
    SYSTEMTIME now{};
    GetLocalTime(&now);
    ASSERT_TRUE(settings::startTimedProfile(2, 30, now));
    EXPECT_TRUE(refresh());
    EXPECT_EQ("Tonquil profile: Silent until 14:30", shown());
    ASSERT_TRUE(handset::setClockTimeOfDay(14, 30));
    EXPECT_TRUE(refresh());
    EXPECT_EQ("Tonquil profile: Normal", shown());

    GetLocalTime(&now);
    ASSERT_TRUE(settings::startTimedProfile(2, 30, now));
    EXPECT_TRUE(refresh());
    SendMessage(item, WM_TODAYCUSTOM_USERNAVIGATION, VK_RIGHT, 0);
    EXPECT_EQ("Tonquil profile: Discreet", shown());
    EXPECT_FALSE(refresh());
}

TEST_F(TodayItemTest, LeftAndRightKeysCycleThroughScheduleAndProfiles)
{
    settings::writeCurrentProfile(0);
    refresh();
    struct Step {
        WPARAM key;
        std::int32_t stored;
    } steps[] = {{VK_LEFT, -1}, {VK_LEFT, 4}, {VK_RIGHT, -1}, {VK_RIGHT, 0}, {VK_RIGHT, 1},
                 {VK_UP, 1},    {VK_DOWN, 1}, {VK_LEFT, 0}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.key);
        SendMessage(item, WM_TODAYCUSTOM_USERNAVIGATION, step.key, 0);
        EXPECT_EQ(step.stored, settings::readCurrentProfile());
    }
    // Custom goes round to the schedule.
    settings::writeCurrentProfile(4);
    refresh();
    SendMessage(item, WM_TODAYCUSTOM_USERNAVIGATION, VK_RIGHT, 0);
    EXPECT_EQ(-1, settings::readCurrentProfile());
    // The key's change is what the item then shows, without another refresh.
    MoveWindow(item, 0, 30, 240, 20, FALSE);
    SendMessage(item, WM_TODAYCUSTOM_USERNAVIGATION, VK_RIGHT, 0);
    handset::pumpMessages();
    EXPECT_EQ("Tonquil profile: Normal", handset::toUtf8(handset::paintedText(item)));
}

TEST_F(TodayItemTest, TapPostsTheSelectionNoticeOnPenDownAndStartsOnPenUp)
{
    installProgram(u"\\Program Files\\Tonquil\\Tonquil.exe");
    const std::string start = "exec: \"\\Program Files\\Tonquil\\Tonquil.exe\"\n";
    SendMessage(item, WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
    EXPECT_FALSE(hostGot(TODAYM_TOOKSELECTION, reinterpret_cast<WPARAM>(item)));  // posted, not sent
    handset::pumpMessages();
    EXPECT_TRUE(hostGot(TODAYM_TOOKSELECTION, reinterpret_cast<WPARAM>(item)));
    EXPECT_EQ(std::string::npos, log().find(start));
    SendMessage(item, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_NE(std::string::npos, log().find(start));
}

TEST_F(TodayItemTest, ActionStartsTheProgramInTheInstallationDirectory)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil", 0, nullptr, 0, 0,
                                            nullptr, &key, nullptr));
    const std::u16string dir = u"\\Storage Card\\Tonquil";
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                                           static_cast<DWORD>((dir.size() + 1) * 2)));
    RegCloseKey(key);
    installProgram(u"\\Storage Card\\Tonquil\\Tonquil.exe");
    SendMessage(item, WM_TODAYCUSTOM_ACTION, 0, 0);
    EXPECT_NE(std::string::npos, log().find("\"\\Storage Card\\Tonquil\\Tonquil.exe\""));
    EXPECT_EQ(std::string::npos, log().find("\"\\Program Files\\Tonquil\\Tonquil.exe\""));
}

TEST_F(TodayItemTest, SelectionDecidesColoursAndBackground)
{
    MoveWindow(item, 0, 30, 240, 20, FALSE);
    refresh();
    gHost.clear();
    shown();
    EXPECT_TRUE(hostGot(TODAYM_DRAWWATERMARK, 0));
    EXPECT_TRUE(hostGot(TODAYM_GETCOLOR, TODAYCOLOR_TEXT));
    EXPECT_FALSE(hostGot(TODAYM_GETCOLOR, TODAYCOLOR_HIGHLIGHT));

    EXPECT_EQ(1, SendMessage(item, WM_TODAYCUSTOM_RECEIVEDSELECTION, VK_DOWN, 0));
    gHost.clear();
    shown();
    EXPECT_FALSE(hostGot(TODAYM_DRAWWATERMARK, 0));
    EXPECT_TRUE(hostGot(TODAYM_GETCOLOR, TODAYCOLOR_HIGHLIGHT));
    EXPECT_TRUE(hostGot(TODAYM_GETCOLOR, TODAYCOLOR_HIGHLIGHTEDTEXT));
    const std::string file = ::testing::TempDir() + "/today_item_selected.png";
    ASSERT_TRUE(handset::saveWindowSurface(host, file));

    SendMessage(item, WM_TODAYCUSTOM_LOSTSELECTION, 0, 0);
    gHost.clear();
    shown();
    EXPECT_TRUE(hostGot(TODAYM_DRAWWATERMARK, 0));
}

}  // namespace
