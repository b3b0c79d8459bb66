// Instavel.dll loaded as the package installer loads it, its exports called
// on a fresh device: what Install_Exit seeds, copies and asks.
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/device.h>
#include <handset/files.h>
#include <handset/loader.h>
#include <handset/log.h>
#include <handset/msgbox.h>
#include <handset/registry.h>
#include <handset/setup.h>
#include <handset/wstring.h>

#include <settings/settings.h>

#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;

constexpr WCHAR kSmsKey[] = u"ControlPanel\\Notifications\\{A877D65B-239C-47a7-9304-0D347F580408}";
constexpr char kQuestion[] =
    "msgbox: \"Tonquil\": \"You must restart the device to finish installing Tonquil. Select OK to restart or "
    "Cancel to continue.\" [OK/Cancel]";

void setString(LPCWSTR keyPath, LPCWSTR name, const std::u16string& value)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, keyPath, 0, nullptr, 0, 0, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                           static_cast<DWORD>((value.size() + 1) * 2)));
    RegCloseKey(key);
}

// The raw bytes of a value, to see exactly what was written.
std::vector<BYTE> rawValue(LPCWSTR keyPath, LPCWSTR name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, keyPath, 0, 0, &key) != ERROR_SUCCESS)
        return {};
    std::vector<BYTE> data(1024, 0xbd);
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG rc = RegQueryValueEx(key, name, nullptr, &type, data.data(), &size);
    RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, rc);
    EXPECT_EQ(REG_SZ, type);
    data.resize(rc == ERROR_SUCCESS ? size : 0);
    return data;
}

struct ClassTones {
    std::u16string ring, sms;
};

ClassTones tonesOf(settings::CallerClass callerClass)
{
    ClassTones tones;
    settings::readClassRingTone(callerClass, tones.ring);
    settings::readClassSmsTone(callerClass, tones.sms);
    return tones;
}

class InstallExitTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        ::unsetenv("HANDSET_MSGBOX_ANSWERS");
        library_ = LoadLibrary(handset::fromUtf8(INSTAVEL_DLL).c_str());
        ASSERT_NE(nullptr, library_);
        installExit_ = reinterpret_cast<pfnINSTALL_EXIT>(GetProcAddress(library_, u"Install_Exit"));
        ASSERT_NE(nullptr, installExit_);
        fs::create_directories(handset::deviceFileSystem() / "Windows");
    }
    void TearDown() override
    {
        handset::clearMessageBoxAnswers();
        if (library_)
            FreeLibrary(library_);
    }

    // One installation's end, with the restart question answered.
    codeINSTALL_EXIT runInstallExit(int answer = IDCANCEL)
    {
        handset::scriptMessageBoxAnswers({answer});
        return installExit_(nullptr, u"\\Program Files\\Tonquil", 0, 0, 0, 0, 0);
    }

    static void writeDeviceFile(const std::string& relative, const std::string& content)
    {
        fs::create_directories((handset::deviceFileSystem() / relative).parent_path());
        std::ofstream(handset::deviceFileSystem() / relative, std::ios::binary) << content;
    }
    static std::string deviceFile(const std::string& relative)
    {
        return handset::testing::slurp(handset::deviceFileSystem() / relative);
    }
    static std::string log() { return handset::testing::slurp(handset::deviceLogPath()); }

    HMODULE library_ = nullptr;
    pfnINSTALL_EXIT installExit_ = nullptr;
};

TEST_F(InstallExitTest, BothExtraRingKeysSeedTheClassesAndRingTone0IsNotRead)
{
    setString(u"ControlPanel\\Sounds\\PlmORingTone1", u"Sound", u"\\Windows\\First.wav");
    setString(u"ControlPanel\\Sounds\\PlmORingTone2", u"Sound", u"\\Windows\\Second.wav");
    setString(u"ControlPanel\\Sounds\\RingTone0", u"Sound", u"\\Windows\\Main.wav");
    setString(kSmsKey, u"Wave", u"\\Windows\\Alert.wav");

    EXPECT_EQ(codeINSTALL_EXIT_DONE, runInstallExit());

    EXPECT_EQ(u"\\Windows\\First.wav", tonesOf(settings::KnownCaller).ring);
    EXPECT_EQ(u"\\Windows\\Second.wav", tonesOf(settings::UnknownCaller).ring);
    EXPECT_EQ(u"\\Windows\\First.wav", tonesOf(settings::NoCallerId).ring);
    for (auto callerClass : {settings::KnownCaller, settings::UnknownCaller, settings::NoCallerId}) {
        SCOPED_TRACE(callerClass);
        EXPECT_EQ(u"\\Windows\\Alert.wav", tonesOf(callerClass).sms);
    }
    // Strings are written with their terminator.
    EXPECT_EQ(std::size_t{(18 + 1) * 2}, rawValue(u"Software\\Quorrel\\Tonquil\\System\\KnownCaller", u"Ring Tone").size());
}

TEST_F(InstallExitTest, OnlyRingTone0WithARelativeSoundGivesBothRingTonesInWindows)
{
    setString(u"ControlPanel\\Sounds\\RingTone0", u"Sound", u"Ring1");
    setString(kSmsKey, u"Wave", u"Alarm3");

    runInstallExit();

    // No extension is added to ring tones, only to the SMS tone.
    EXPECT_EQ(u"\\Windows\\Ring1", tonesOf(settings::KnownCaller).ring);
    EXPECT_EQ(u"\\Windows\\Ring1", tonesOf(settings::UnknownCaller).ring);
    EXPECT_EQ(u"\\Windows\\Ring1", tonesOf(settings::NoCallerId).ring);
    EXPECT_EQ(u"\\Windows\\Alarm3.wav", tonesOf(settings::UnknownCaller).sms);
}

TEST_F(InstallExitTest, OneExtraRingKeyAloneGivesWayToRingTone0)
{
    setString(u"ControlPanel\\Sounds\\PlmORingTone1", u"Sound", u"\\Windows\\First.wav");
    setString(u"ControlPanel\\Sounds\\RingTone0", u"Sound", u"\\Windows\\Main.wav");
    runInstallExit();
    EXPECT_EQ(u"\\Windows\\Main.wav", tonesOf(settings::KnownCaller).ring);
    EXPECT_EQ(u"\\Windows\\Main.wav", tonesOf(settings::UnknownCaller).ring);
}

TEST_F(InstallExitTest, TheSmsToneGetsAnExtensionOnlyWhenItHasNone)
{
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"\\Windows\\Beep.midi", u"\\Windows\\Beep.midi"},
        {u"\\Windows\\Chime.mp3", u"\\Windows\\Chime.mp3"},
        {u"\\Windows\\Alarm1", u"\\Windows\\Alarm1.wav"},
        {u"\\Ton", u"\\Ton"},  // four characters or fewer stay as they are
        {u"\\Tones", u"\\Tones.wav"},
    };
    for (const auto& [wave, expected] : cases) {
        SCOPED_TRACE(handset::toUtf8(wave));
        setString(kSmsKey, u"Wave", wave);
        runInstallExit();
        EXPECT_EQ(expected, tonesOf(settings::KnownCaller).sms);
    }
}

// With no sound keys the tones stay empty (no tone) rather than becoming
// the folder "\Windows\" and the file "\Windows\.wav"; a name too long to
// fit the system's buffers once completed is no tone either.
TEST_F(InstallExitTest, MissingSoundsLeaveTheTonesEmpty)
{
    runInstallExit();
    for (auto callerClass : {settings::KnownCaller, settings::UnknownCaller, settings::NoCallerId}) {
        SCOPED_TRACE(callerClass);
        EXPECT_EQ(u"", tonesOf(callerClass).ring);
        EXPECT_EQ(u"", tonesOf(callerClass).sms);
    }
    EXPECT_EQ((std::vector<BYTE>{0, 0}), rawValue(u"Software\\Quorrel\\Tonquil\\System\\NoCallerId", u"Sms Tone"));

    setString(u"ControlPanel\\Sounds\\RingTone0", u"Sound", std::u16string(250, u'r'));
    setString(kSmsKey, u"Wave", std::u16string(248, u's'));
    runInstallExit();
    EXPECT_EQ(u"", tonesOf(settings::KnownCaller).ring);
    EXPECT_EQ(u"", tonesOf(settings::KnownCaller).sms);
}

TEST_F(InstallExitTest, ASecondInstallationResetsTheProfilesAndKeepsTheUsersFiles)
{
    writeDeviceFile("Windows/Ring.wav", "stock ring");
    writeDeviceFile("Windows/Chimes.mp3", "stock chimes");
    writeDeviceFile("Windows/Melody.mid", "stock melody");
    writeDeviceFile("Windows/Notes.txt", "not a sound");

    runInstallExit();
    EXPECT_EQ("stock ring", deviceFile("My Documents/My Ringtones/Ring.wav"));
    EXPECT_EQ("stock chimes", deviceFile("My Documents/My Ringtones/Chimes.mp3"));
    EXPECT_EQ("stock melody", deviceFile("My Documents/My Ringtones/Melody.mid"));
    EXPECT_FALSE(fs::exists(handset::deviceFileSystem() / "My Documents/My Ringtones/Notes.txt"));

    // The user changes things between the installations.
    const settings::ScheduleEntry schedule[] = {{420, 0}, {1320, 2}};
    settings::writeSchedule(schedule, 2);
    settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);
    settings::ProfileRecord loud = settings::defaultProfile(3);
    loud.callVolume = 1;
    ASSERT_TRUE(settings::writeProfile(loud));
    writeDeviceFile("My Documents/My Ringtones/Ring.wav", "the user's own");

    runInstallExit();
    EXPECT_EQ(0, settings::readCurrentProfile());
    settings::ScheduleEntry read[25];
    std::uint32_t count = 25;
    EXPECT_FALSE(settings::readSchedule(read, count));
    for (std::int32_t index = 0; index < settings::kProfileCount; ++index) {
        SCOPED_TRACE(index);
        settings::ProfileRecord record;
        ASSERT_TRUE(settings::readProfile(index, record));
        EXPECT_EQ(settings::defaultProfile(index), record);
    }
    settings::ProfileRecord vip;
    ASSERT_TRUE(settings::readVipProfile(vip));
    EXPECT_EQ(settings::defaultVipProfile().callVolume, vip.callVolume);
    EXPECT_EQ("the user's own", deviceFile("My Documents/My Ringtones/Ring.wav"));
}

TEST_F(InstallExitTest, CancelAtTheRestartQuestionFinishesWithoutARestart)
{
    EXPECT_EQ(codeINSTALL_EXIT_DONE, runInstallExit(IDCANCEL));
    const std::string text = log();
    EXPECT_NE(std::string::npos, text.find(std::string(kQuestion) + ": Cancel (script)"));
    EXPECT_EQ(std::string::npos, text.find("reboot:"));
}

TEST_F(InstallExitTest, OkAtTheRestartQuestionRequestsTheRestart)
{
    EXPECT_EQ(codeINSTALL_EXIT_DONE, runInstallExit(IDOK));
    const std::string text = log();
    const std::size_t question = text.find(std::string(kQuestion) + ": OK (script)");
    ASSERT_NE(std::string::npos, question);
    EXPECT_NE(std::string::npos, text.find("reboot: restart requested", question));
}

TEST_F(InstallExitTest, TheOtherExportsDoNothingAndContinue)
{
    auto init = reinterpret_cast<pfnINSTALL_INIT>(GetProcAddress(library_, u"Install_Init"));
    auto uninit = reinterpret_cast<pfnUNINSTALL_INIT>(GetProcAddress(library_, u"Uninstall_Init"));
    auto unexit = reinterpret_cast<pfnUNINSTALL_EXIT>(GetProcAddress(library_, u"Uninstall_Exit"));
    ASSERT_NE(nullptr, init);
    ASSERT_NE(nullptr, uninit);
    ASSERT_NE(nullptr, unexit);
    EXPECT_EQ(codeINSTALL_INIT_CONTINUE, init(nullptr, TRUE, FALSE, u"\\Program Files\\Tonquil"));
    EXPECT_EQ(codeUNINSTALL_INIT_CONTINUE, uninit(nullptr, u"\\Program Files\\Tonquil"));
    EXPECT_EQ(codeUNINSTALL_EXIT_DONE, unexit(nullptr));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel", 0, 0, &key));
    EXPECT_FALSE(fs::exists(handset::deviceFileSystem() / "My Documents/My Ringtones"));
}

}  // namespace
