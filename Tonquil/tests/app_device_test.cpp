// Tonquil.exe on a booted device, with real processes: started by
// `handset run` and by a tap on the Today item, it switches the item back
// on, the running Today screen reloads and shows it, and (answered at once
// with Cancel through HANDSET_UI_CLOSE_WHEN_SHOWN) it ends by itself.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

#include <QImage>

#include <handset/clock.h>
#include <handset/device.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/quiet_hours.h>
#include <settings/settings.h>

#include <contacts/contacts_ids.h>
#include <system/system_ids.h>

#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;
using handset::testing::Outcome;

void setDword(HKEY key, const char16_t* name, DWORD value)
{
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4));
}

void registerItem(DWORD enabled)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Tonquil", 0,
                                            nullptr, 0, 0, nullptr, &key, nullptr));
    const std::u16string dll = handset::fromUtf8(TOLVANE_DLL);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueEx(key, u"DLL", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                                           static_cast<DWORD>((dll.size() + 1) * 2)));
    setDword(key, u"Type", 4);
    setDword(key, u"Order", 10);
    setDword(key, u"Enabled", enabled);
    RegCloseKey(key);
}

DWORD itemEnabled()
{
    HKEY key = nullptr;
    DWORD value = 0xDEADBEEF, type = 0, size = 4;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Today\\Items\\Tonquil", 0, 0, &key) == ERROR_SUCCESS) {
        RegQueryValueEx(key, u"Enabled", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
        RegCloseKey(key);
    }
    return value;
}

class AppOnDevice : public ::testing::Test {
protected:
    fs::path phone() const { return phone_; }

    void SetUp() override
    {
        ::setenv("HANDSET_UI_CLOSE_WHEN_SHOWN", "1", 1);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        useNewPhone("phone");
    }

    // Makes a new device and works with it from here on (the test's own
    // reads and writes too). A test that moves on to another phone shuts
    // the one before down; TearDown shuts down the last.
    void useNewPhone(const std::string& name)
    {
        phone_ = scratch_.root() / name;
        const Outcome init = handset({"init"});
        ASSERT_EQ(0, init.status) << init.err;
        handset::setDeviceRoot(phone());
        settings::resetProfiles();
    }

    void TearDown() override
    {
        handset({"shutdown"});
        ::unsetenv("HANDSET_UI_CLOSE_WHEN_SHOWN");
    }

    Outcome handset(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        return handset::testing::runProgram(std::move(arguments), scratch_.root());
    }

    std::string log() { return handset::testing::slurp(phone() / "log" / "device.log"); }

    // Installed where the item looks for it: "InstallDir" is the default folder.
    void install()
    {
        const auto installed = handset::mapDevicePath(u"\\Program Files\\Tonquil");
        ASSERT_TRUE(installed.has_value());
        fs::create_directories(*installed);
        fs::copy_file(TONQUIL_EXE, *installed / "Tonquil.exe", fs::copy_options::overwrite_existing);
    }

    // The SMS tone service as the installation leaves it: registered and enrolled.
    void enrolSmsService()
    {
        const std::u16string smsService = u"{6C1E2A90-3B7D-4E5F-9A12-7D4C0B8E5F31}";
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CLASSES_ROOT, (u"CLSID\\" + smsService + u"\\InProcServer32").c_str(),
                                                0, nullptr, 0, 0, nullptr, &key, nullptr));
        const std::u16string dll = handset::fromUtf8(SMELDRY_DLL);
        RegSetValueEx(key, u"", 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                      static_cast<DWORD>((dll.size() + 1) * 2));
        RegCloseKey(key);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules", 0,
                                                nullptr, 0, 0, nullptr, &key, nullptr));
        setDword(key, smsService.c_str(), 1);
        RegCloseKey(key);
    }

    handset::testing::TempDevice scratch_;
    fs::path phone_;
};

TEST_F(AppOnDevice, StartSwitchesTheItemBackOnAndTheTodayScreenShowsIt)
{
    registerItem(0);
    install();
    ASSERT_EQ(0, handset({"boot"}).status);
    Outcome run = handset({"today", "text"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ("", run.out);

    run = handset({"run", "--wait", "\\Program Files\\Tonquil\\Tonquil.exe"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_EQ(1u, itemEnabled());
    const std::string text = log();
    const auto shown = text.find("ui: shown \"Tonquil\"");
    EXPECT_NE(std::string::npos, shown) << text;
    // The Today screen reloaded before the sheet came up: the broadcast waited for it.
    const auto reloaded = text.rfind("reloading the Today items", shown);
    EXPECT_NE(std::string::npos, reloaded) << text;
    run = handset({"today", "text"});
    EXPECT_EQ("Tonquil profile: Normal\n", run.out);
}

TEST_F(AppOnDevice, TapOnTheTodayItemStartsTheInstalledProgram)
{
    registerItem(1);
    install();
    ASSERT_EQ(0, handset({"boot"}).status);

    const Outcome run = handset({"today", "tap", "Tonquil"});
    ASSERT_EQ(0, run.status) << run.err;
    // The program runs on its own; give it up to half a minute to come up
    // and answer itself (a guard against a hung test, not a measure of time).
    std::string text;
    for (int i = 0; i < 300 && text.find("ui: shown \"Tonquil\"") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        text = log();
    }
    EXPECT_NE(std::string::npos, text.find("exec: \"\\Program Files\\Tonquil\\Tonquil.exe\"")) << text;
    EXPECT_NE(std::string::npos, text.find("ui: shown \"Tonquil\"")) << text;
}

// A person's session with the application, through `handset screen` and
// `handset input` only, as a person with the phone in hand would have it.
class PersonOnDevice : public AppOnDevice {
protected:
    void SetUp() override
    {
        AppOnDevice::SetUp();
        ::unsetenv("HANDSET_UI_CLOSE_WHEN_SHOWN");
    }

    void TearDown() override
    {
        // The program ends by the person's close button; should a failed
        // test have left it running, it is stopped here.
        if (pid_ > 0 && ::kill(pid_, 0) == 0)
            ::kill(pid_, SIGKILL);
        AppOnDevice::TearDown();
    }

    std::string screen()
    {
        const Outcome run = handset({"screen"});
        EXPECT_EQ(0, run.status) << run.err;
        return run.out;
    }

    // The input must succeed; the test stops at the first that does not.
    Outcome input(std::vector<std::string> words)
    {
        words.insert(words.begin(), "input");
        return handset(std::move(words));
    }

    // Starts the application and waits (at most half a minute, a guard
    // against a hung test) until it is the program in front.
    void start()
    {
        ASSERT_EQ(0, handset({"run", "\\Program Files\\Tonquil\\Tonquil.exe"}).status);
        std::smatch found;
        std::string shown;
        for (int i = 0; i < 300; ++i) {
            shown = handset({"screen", "--program", "Tonquil.exe"}).out;
            if (std::regex_search(shown, found, std::regex("^window \"Tonquil\" Tonquil\\.exe pid=(\\d+)")))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        ASSERT_FALSE(found.empty()) << shown;
        pid_ = std::stoi(found[1]);
    }

    pid_t pid_ = 0;
};

#define INPUT(...)                                                      \
    do {                                                                \
        const Outcome done = input({__VA_ARGS__});                      \
        ASSERT_EQ(0, done.status) << done.err;                          \
    } while (false)

std::size_t count(const std::string& text, const std::string& piece)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

// As `handset screen` shows a text: in quotes, with quotes, backslashes and
// line ends escaped.
std::string screenText(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return out + "\"";
}

// "Test a Call" for a contact whose tone file was removed shows the reasons
// the phone logged when that contact called; "Check Tones" lists the file,
// and choosing it opens the contact's dialog, after which the list is
// checked again.
TEST_F(PersonOnDevice, TestsACallWithTheReasonsThePhoneGaveAndFindsTheRemovedTone)
{
    registerItem(1);
    install();
    const std::string tone = "\\My Documents\\My Ringtones\\Anna.mp3";
    const Outcome put = handset({"files", "put", (phone() / "fs" / "Windows" / "Beeps.mp3").string(), tone});
    ASSERT_EQ(0, put.status) << put.err;
    ASSERT_EQ(0, handset({"contacts", "add", "--first", "Anna", "--last", "Berg", "--mobile", "5550142",
                          "--ring-tone", tone, "--priority", "1"})
                     .status);
    ASSERT_EQ(0, handset({"files", "rm", tone}).status);
    ASSERT_EQ(0, handset({"boot"}).status);
    start();

    const Outcome call = handset({"call", "5550142"});
    ASSERT_EQ(0, call.status) << call.err;
    std::smatch why;
    ASSERT_TRUE(std::regex_search(call.out, why, std::regex("why=call from \"5550142\": (.*)\n"))) << call.out;
    std::string reasons = why[1];
    EXPECT_NE(std::string::npos, reasons.find(tone + " (file missing) from the contact")) << reasons;
    for (std::size_t at = reasons.find("; "); at != std::string::npos; at = reasons.find("; ", at))
        reasons.replace(at, 2, "\n");

    INPUT("menu", "Menu/Test a Call");
    INPUT("choose", "--id", "1082", "Berg, Anna");
    std::string shown = screen();
    EXPECT_EQ(0u, shown.find("window \"Test a Call\" Tonquil.exe")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" " + screenText("5550142") + "\n")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" " + screenText(reasons) + "\n")) << shown;
    INPUT("tap", "--text", "Done");

    INPUT("menu", "Menu/Check Tones");
    const std::string row =
        "Anna.mp3 (file missing): contact \"Berg, Anna\", ring tone, in \\My Documents\\My Ringtones";
    shown = screen();
    EXPECT_NE(std::string::npos, shown.find("  item* " + screenText(row) + "\n")) << shown;
    INPUT("tap", "--text", row);
    INPUT("menu", "Menu/Remove Ring Tone");
    INPUT("tap", "--text", "OK");
    shown = screen();
    EXPECT_EQ(0u, shown.find("window \"Check Tones\" Tonquil.exe")) << shown;
    EXPECT_NE(std::string::npos, shown.find(screenText("Every assigned tone can play."))) << shown;
    INPUT("tap", "--text", "Done");

    INPUT("tap", "--text", "\u2715");
    for (int i = 0; i < 300 && ::kill(pid_, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(0, ::kill(pid_, 0));
}

TEST_F(PersonOnDevice, ChangesAProfileAndMeetsTheFullScheduleThroughTheScreen)
{
    registerItem(1);
    install();
    ASSERT_EQ(0, handset({"clock", "set", "08:00"}).status);
    ASSERT_EQ(0, handset({"boot"}).status);
    start();

    INPUT("tap", "--text", "Profiles");
    std::string shown = screen();
    EXPECT_NE(std::string::npos, shown.find("1056 button ")) << shown;
    INPUT("tap", "--text", "Change Settings");
    shown = screen();
    ASSERT_EQ(0u, shown.find("window \"Profile: Normal\"")) << shown;
    INPUT("choose", "--id", "1014", "5");
    EXPECT_NE(std::string::npos, screen().find("  item* \"5\"\n"));
    INPUT("tap", "--text", "OK");
    settings::ProfileRecord normal{};
    ASSERT_TRUE(settings::readProfile(0, normal));
    EXPECT_EQ(5, normal.callVolume);

    // The picker starts at the device's time; each time gets the next minute.
    INPUT("tap", "--text", "Schedule Settings");
    for (int minute = 0; minute < 25; ++minute) {
        if (minute > 0) {
            INPUT("tap", "--id", "1023");
            INPUT("key", "up");
        }
        INPUT("tap", "--text", "Add");
    }
    shown = screen();
    ASSERT_EQ(25u, count(shown, "  item \"At 08:")) << shown;
    INPUT("tap", "--id", "1023");
    INPUT("key", "up");
    INPUT("tap", "--text", "Add");
    shown = screen();
    EXPECT_EQ(0u, shown.find("window \"Profile schedule\" Tonquil.exe")) << shown;
    EXPECT_NE(std::string::npos, shown.find("label ")) << shown;
    EXPECT_NE(std::string::npos, shown.find("\"The schedule holds at most 25 switching times.")) << shown;
    EXPECT_NE(std::string::npos, shown.find("1 button ")) << shown;
    INPUT("tap", "--text", "OK");
    shown = screen();
    EXPECT_EQ(25u, count(shown, "  item \"At 08:")) << shown;
    EXPECT_EQ(std::string::npos, shown.find("At 08:25")) << shown;
    EXPECT_NE(std::string::npos, log().find("[OK]: OK (presenter)"));

    INPUT("tap", "--text", "OK");
    std::vector<settings::ScheduleEntry> stored(settings::kMaxScheduleEntries + 1);
    std::uint32_t entries = static_cast<std::uint32_t>(stored.size());
    ASSERT_TRUE(settings::readSchedule(stored.data(), entries));
    EXPECT_EQ(25u, entries);

    // A control that is not on the screen, and a program that is not running, are errors.
    Outcome run = input({"tap", "--id", "1023"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("handset: there is no control 1023 on the screen\n", run.err);
    INPUT("tap", "--text", "\u2715");  // the close button: the application ends
    for (int i = 0; i < 300 && ::kill(pid_, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    run = input({"--program", "Tonquil.exe", "key", "action"});
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("handset: Tonquil.exe is not running on the device (or shows no window)\n", run.err);
}

// The Categories tab: the categories the contacts know, in name order; a
// category's dialog stores its tone and priority on OK and nothing on
// Cancel; a contact of the category without a tone of its own then rings
// with them.
TEST_F(PersonOnDevice, GivesACategoryItsToneAndPriorityAndItsContactsRingWithThem)
{
    registerItem(1);
    install();
    for (const char* name : {"Work", "Family", "Business"})
        ASSERT_EQ(0, handset({"categories", "add", name}).status);
    ASSERT_EQ(0, handset({"contacts", "add", "--first", "Ann", "--mobile", "5550199", "--categories", "Family"}).status);
    const Outcome put = handset({"files", "put", (phone() / "fs" / "Windows" / "Beeps.mp3").string(),
                                 "\\My Documents\\My Ringtones\\Beeps.mp3"});
    ASSERT_EQ(0, put.status) << put.err;
    ASSERT_EQ(0, handset({"boot"}).status);
    start();

    INPUT("tap", "--text", "Categories");
    std::string shown = screen();
    const auto business = shown.find("\"Business\"\n"), family = shown.find("\"Family\"\n");
    ASSERT_NE(std::string::npos, business) << shown;
    EXPECT_LT(business, family) << shown;
    EXPECT_LT(family, shown.find("\"Work\"\n")) << shown;

    INPUT("tap", "--text", "Family");
    shown = screen();
    EXPECT_EQ(2u, count(shown, "\"<select tone>\"")) << shown;
    EXPECT_NE(std::string::npos, shown.find("  item* \"Normal\"\n")) << shown;
    INPUT("tap", "--id", "1033");  // the ring tone: the file picker
    INPUT("tap", "--text", "Beeps.mp3");
    INPUT("tap", "--text", "OK");
    shown = screen();
    EXPECT_NE(std::string::npos, shown.find("\"Beeps.mp3\"")) << shown;
    INPUT("choose", "--id", "1014", "VIP");
    INPUT("tap", "--text", "OK");
    settings::TonePath tone;
    settings::readCategoryRingTone(u"Family", tone);
    EXPECT_EQ(u"\\My Documents\\My Ringtones\\Beeps.mp3", tone);
    settings::readCategorySmsTone(u"Family", tone);
    EXPECT_EQ(u"", tone);
    EXPECT_EQ(settings::PriorityVip, settings::readCategoryPriority(u"Family"));

    // Cancel after changes stores nothing.
    INPUT("tap", "--text", "Work");
    INPUT("tap", "--id", "1035");
    INPUT("tap", "--text", "Beeps.mp3");
    INPUT("tap", "--text", "OK");
    INPUT("choose", "--id", "1014", "Mute");
    INPUT("menu", "Menu/Cancel");
    settings::readCategorySmsTone(u"Work", tone);
    EXPECT_EQ(u"", tone);
    EXPECT_EQ(settings::PriorityNormal, settings::readCategoryPriority(u"Work"));
    EXPECT_EQ(0u, screen().find("window \"Tonquil\"")) << screen();

    // Ann has no tone of her own: Family's tone at the VIP profile's volume.
    settings::ProfileRecord vip{};
    ASSERT_TRUE(settings::readVipProfile(vip));
    const Outcome call = handset({"call", "5550199"});
    ASSERT_EQ(0, call.status) << call.err;
    EXPECT_NE(std::string::npos, call.out.find("sound=\\My Documents\\My Ringtones\\Beeps.mp3\n")) << call.out;
    EXPECT_NE(std::string::npos, call.out.find("volume=" + std::to_string(vip.callVolume) + "\n")) << call.out;

    INPUT("tap", "--text", "\u2715");
    for (int i = 0; i < 300 && ::kill(pid_, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(0, ::kill(pid_, 0));
}

// The System page, its caller dialog and the file picker, as a person uses
// them: the tone chosen in the picker is what the phone rings with, and a
// MIDI tone on a phone that has no MIDI player gets the notice instead of a
// preview.
TEST_F(PersonOnDevice, ChoosesTheUnknownCallersRingToneInThePickerAndMeetsTheMidiNotice)
{
    registerItem(1);
    install();
    // The person copies two of the phone's own sounds into the ring tone folder.
    for (const std::string name : {"Chimes.mp3", "Melody.mid"}) {
        const std::string host = (scratch_.root() / name).string();
        ASSERT_EQ(0, handset({"files", "get", "\\Windows\\" + name, host}).status);
        const Outcome put = handset({"files", "put", host, "\\My Documents\\My Ringtones\\" + name});
        ASSERT_EQ(0, put.status) << put.err;
    }
    ASSERT_EQ(0, handset({"boot"}).status);
    start();

    INPUT("tap", "--text", "System");
    std::string shown = screen();
    EXPECT_NE(std::string::npos,
              shown.find("1039 listview 0,50,240,142 - \"\"\n"
                         "  item* \"Known caller\"\n  item \"Unknown caller\"\n  item \"No caller ID \"\n"))
        << shown;

    INPUT("tap", "--text", "Unknown caller");
    shown = screen();
    ASSERT_EQ(0u, shown.find("window \"Caller settings\" Tonquil.exe")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" - \"Unknown caller\"\n")) << shown;

    INPUT("tap", "--id", std::to_string(tonquil::ids::kCallerRingSlot.toneButton));
    shown = screen();
    ASSERT_EQ(0u, shown.find("window \"Open\" Tonquil.exe")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" \"\\\\My Documents\\\\My Ringtones\"\n")) << shown;
    EXPECT_NE(std::string::npos, shown.find("  item \"Chimes.mp3\"\n")) << shown;
    INPUT("tap", "--text", "Chimes.mp3");
    INPUT("tap", "--text", "OK");
    EXPECT_NE(std::string::npos, screen().find(" \"Chimes.mp3\"\n"));
    INPUT("tap", "--text", "OK");
    settings::TonePath ring;
    settings::readClassRingTone(settings::UnknownCaller, ring);
    EXPECT_EQ(u"\\My Documents\\My Ringtones\\Chimes.mp3", std::u16string(ring));

    Outcome run = handset({"call", "5550123"});
    ASSERT_EQ(0, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.out.find("sound=\\My Documents\\My Ringtones\\Chimes.mp3\n")) << run.out;

    // A phone without a MIDI player: Play on a MIDI tone explains instead of playing.
    run = handset({"reg", "delete", "HKCR\\Media Type\\Extensions\\.mid"});
    ASSERT_EQ(0, run.status) << run.err;
    INPUT("tap", "--text", "Unknown caller");
    INPUT("tap", "--id", std::to_string(tonquil::ids::kCallerSmsSlot.toneButton));
    INPUT("tap", "--text", "Melody.mid");
    INPUT("tap", "--text", "OK");
    INPUT("tap", "--id", std::to_string(tonquil::ids::kCallerSmsSlot.play));
    shown = screen();
    EXPECT_NE(std::string::npos, shown.find("\"You have selected MIDI ring tone. MIDI ring tones are fully")) << shown;
    EXPECT_NE(std::string::npos, shown.find("1 button ")) << shown;
    INPUT("tap", "--text", "OK");  // the notice's only button
    shown = screen();
    EXPECT_EQ(std::string::npos, shown.find("MIDI")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" \"Melody.mid\"\n")) << shown;
    INPUT("tap", "--text", "OK");

    INPUT("tap", "--text", "\u2715");
    for (int i = 0; i < 300 && ::kill(pid_, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(0, ::kill(pid_, 0));
}

// The Contacts tab: the entries' two-line texts, the search by any name's
// beginning, and one contact given tones, VIP, a category and a picture in
// his dialog; the phone then rings and chimes with them, and his row is
// bold with both marks (read from the screen's picture, which is where
// they show).
TEST_F(PersonOnDevice, GivesAContactTonesVipCategoryAndPictureAndHisCallsAndTextsUseThem)
{
    registerItem(1);
    install();
    enrolSmsService();

    ASSERT_EQ(0, handset({"categories", "add", "Family"}).status);
    ASSERT_EQ(0, handset({"contacts", "add", "--first", "John", "--last", "Smith", "--company", "Acme", "--mobile",
                          "5550101"}).status);
    ASSERT_EQ(0, handset({"contacts", "add", "--company", "SMART Ltd"}).status);
    ASSERT_EQ(0, handset({"contacts", "add", "--first", "Smilla"}).status);
    ASSERT_EQ(0, handset({"contacts", "add", "--first", "Ann", "--last", "Cosmo", "--company", "Osmium"}).status);
    // A MIDI SMS tone is the notification's own sound, so no player outlives the test.
    for (const std::string name : {"Chimes.mp3", "Melody.mid"}) {
        const Outcome put = handset({"files", "put", (phone() / "fs" / "Windows" / name).string(),
                                     "\\My Documents\\My Ringtones\\" + name});
        ASSERT_EQ(0, put.status) << put.err;
    }
    ASSERT_EQ(0, handset({"boot"}).status);
    start();

    INPUT("tap", "--text", "Contacts");
    std::string shown = screen();
    EXPECT_NE(std::string::npos, shown.find("  item* \"Cosmo, Ann\\nOsmium\"\n  item \"SMART Ltd\"\n"
                                            "  item \"Smilla\"\n  item \"Smith, John\\nAcme\"\n"))
        << shown;
    INPUT("tap", "--id", std::to_string(tonquil::ids::IDC_CONTACTS_SEARCH));
    INPUT("text", "sm");
    shown = screen();
    EXPECT_NE(std::string::npos, shown.find("1026 listview 0,50,240,142 - \"\"\n  item \"SMART Ltd\"\n"
                                            "  item \"Smilla\"\n  item \"Smith, John\\nAcme\"\n- tab"))
        << shown;
    EXPECT_EQ(std::string::npos, shown.find("Cosmo")) << shown;  // "sm" inside a name is no match

    // Smith alone and not selected: his row before and after, side by side.
    INPUT("text", "it");
    const fs::path before = scratch_.root() / "before.png", after = scratch_.root() / "after.png";
    ASSERT_EQ(0, handset({"screen", "shot", before.string()}).status);

    INPUT("tap", "--text", "Smith, John\nAcme");
    INPUT("tap", "--id", std::to_string(tonquil::ids::kContactRingSlot.toneButton));
    INPUT("tap", "--text", "Chimes.mp3");
    INPUT("tap", "--text", "OK");
    INPUT("tap", "--id", std::to_string(tonquil::ids::kContactSmsSlot.toneButton));
    INPUT("tap", "--text", "Melody.mid");
    INPUT("tap", "--text", "OK");
    INPUT("choose", "--id", std::to_string(tonquil::ids::IDC_CONTACT_PRIORITY), "VIP");
    INPUT("choose", "--id", std::to_string(tonquil::ids::IDC_CONTACT_CATEGORY), "Family");
    INPUT("tap", "--id", std::to_string(tonquil::ids::IDC_CONTACT_PICTURE));
    shown = screen();
    ASSERT_EQ(0u, shown.find("window \"Select Picture\"")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" \"\\\\My Documents\\\\My Pictures\"\n")) << shown;
    INPUT("tap", "--text", "Sunset.jpg");
    shown = screen();
    ASSERT_EQ(0u, shown.find("window \"Contact settings\"")) << shown;
    INPUT("tap", "--text", "OK");

    const Outcome show = handset({"contacts", "show", "1"});
    ASSERT_EQ(0, show.status) << show.err;
    EXPECT_NE(std::string::npos, show.out.find("categories: Family\n"
                                               "ring tone: \\My Documents\\My Ringtones\\Chimes.mp3\n"
                                               "sms tone: \\My Documents\\My Ringtones\\Melody.mid\n"
                                               "priority: 1\n"
                                               "picture: 400x300 JPEG"))
        << show.out;

    settings::ProfileRecord vip{};
    ASSERT_TRUE(settings::readVipProfile(vip));
    const Outcome call = handset({"call", "5550101"});
    ASSERT_EQ(0, call.status) << call.err;
    EXPECT_NE(std::string::npos, call.out.find("sound=\\My Documents\\My Ringtones\\Chimes.mp3\n")) << call.out;
    EXPECT_NE(std::string::npos, call.out.find("volume=" + std::to_string(vip.callVolume) + "\n")) << call.out;
    const Outcome sms = handset({"sms", "--from", "John <5550101>", "--text", "Hi"});
    ASSERT_EQ(0, sms.status) << sms.err;
    EXPECT_NE(std::string::npos, sms.out.find("wave=\\My Documents\\My Ringtones\\Melody.mid\n")) << sms.out;

    // A keystroke refills the list, so Smith's row is drawn unselected again.
    INPUT("tap", "--id", std::to_string(tonquil::ids::IDC_CONTACTS_SEARCH));
    INPUT("text", "h");
    ASSERT_EQ(0, handset({"screen", "shot", after.string()}).status);
    const QImage was(QString::fromStdString(before.string())), is(QString::fromStdString(after.string()));
    ASSERT_FALSE(was.isNull());
    ASSERT_FALSE(is.isNull());
    // The list starts at y = 50 and is 240 wide; the note takes the row's
    // last 18 pixels, the envelope the 15 before them.
    const auto ink = [](const QImage& image, int left, int right, int bottom) {
        int dark = 0;
        for (int y = 52; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                dark += image.pixelColor(x, y).lightness() < 160;
        return dark;
    };
    EXPECT_GT(ink(is, 2, 200, 76), ink(was, 2, 200, 76));  // bold strokes are wider
    EXPECT_EQ(0, ink(was, 240 - 33, 240, 67));
    EXPECT_GT(ink(is, 240 - 18, 240, 67), 0);       // the note: his own ring tone
    EXPECT_GT(ink(is, 240 - 33, 240 - 18, 67), 0);  // the envelope: his own SMS tone

    INPUT("tap", "--text", "\u2715");
    for (int i = 0; i < 300 && ::kill(pid_, 0) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_NE(0, ::kill(pid_, 0));
}

// Settings carried to a new phone, by the menu, the pickers and the boxes
// only: everything set on the first phone is backed up with its tone files,
// the backup is fetched with `handset files` and restored on a second phone
// whose contacts came from a vCard and that has none of the tones; every
// number then rings and chimes there as it did on the first, and Check
// Tones finds nothing missing.
TEST_F(PersonOnDevice, BacksUpEverySettingWithTheTonesAndANewPhoneRingsAsTheOldOneDid)
{
    const std::string tones = "\\My Documents\\My Ringtones\\";
    const std::string backup = "\\My Documents\\Tonquil Backup.tqb";
    const std::vector<std::string> numbers = {"5550142", "5550143", "5550144", "5550999"};
    // What the phone does for a call and a text from each number.
    auto ringsAndTexts = [&] {
        std::string all;
        for (const std::string& number : numbers) {
            const Outcome call = handset({"call", number});
            EXPECT_EQ(0, call.status) << call.err;
            const Outcome sms = handset({"sms", "--from", number, "--text", "Hi"});
            EXPECT_EQ(0, sms.status) << sms.err;
            all += call.out + sms.out;
        }
        return all;
    };
    auto preparePhone = [&] {
        registerItem(1);
        install();
        enrolSmsService();
        ASSERT_EQ(0, handset({"clock", "set", "08:00"}).status);
    };
    auto closeApplication = [&] {
        INPUT("tap", "--text", "\u2715");
        for (int i = 0; i < 300 && ::kill(pid_, 0) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_NE(0, ::kill(pid_, 0));
    };

    // The first phone: contacts with tones of their own, a VIP and a Mute
    // category, the unknown callers' class, a schedule, a timed profile and
    // repeated calls.
    preparePhone();
    for (const std::string name : {"Chimes.mp3", "Beeps.mp3"}) {
        const Outcome put = handset({"files", "put", (phone() / "fs" / "Windows" / name).string(), tones + name});
        ASSERT_EQ(0, put.status) << put.err;
    }
    for (const char* name : {"Family", "Work"})
        ASSERT_EQ(0, handset({"categories", "add", name}).status);
    ASSERT_EQ(0, handset({"contacts", "add", "--first", "Anna", "--last", "Berg", "--mobile", "5550142",
                          "--ring-tone", tones + "Beeps.mp3", "--sms-tone", tones + "Chimes.mp3", "--priority", "1"})
                     .status);
    ASSERT_EQ(0, handset({"contacts", "add", "--first", "Carl", "--last", "Dahl", "--mobile", "5550143",
                          "--categories", "Family"})
                     .status);
    ASSERT_EQ(0, handset({"contacts", "add", "--first", "Dora", "--last", "Eck", "--home", "5550144",
                          "--categories", "Work"})
                     .status);
    settings::writeCategoryRingTone(u"Family", handset::fromUtf8(tones + "Chimes.mp3"));
    settings::writeCategoryPriority(u"Family", settings::PriorityVip);
    ASSERT_TRUE(settings::ensureCategoryKey(u"Work"));  // a category without tones has no key yet
    settings::writeCategoryPriority(u"Work", settings::PriorityMute);
    settings::writeClassRingTone(settings::UnknownCaller, handset::fromUtf8(tones + "Beeps.mp3"));
    const settings::ScheduleEntry schedule[] = {{7 * 60, 3}, {22 * 60, 2}};
    settings::writeSchedule(schedule, 2);
    settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    ASSERT_TRUE(settings::startTimedProfile(1, 120, now));
    ASSERT_TRUE(settings::writeRepeatedCallSettings({.enabled = true, .windowMinutes = 5, .ringProfile = 3}));
    ASSERT_EQ(0, handset({"boot"}).status);
    start();

    INPUT("menu", "Menu/Back Up Settings...");
    std::string shown = screen();
    ASSERT_EQ(0u, shown.find("window \"Back Up Settings\" Tonquil.exe")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" \"Tonquil Backup.tqb\"\n")) << shown;
    INPUT("tap", "--text", "OK");
    EXPECT_NE(std::string::npos, screen().find("\"Include tone files?")) << screen();
    INPUT("tap", "--text", "Yes");
    shown = screen();
    EXPECT_NE(std::string::npos, shown.find("3 contacts' settings")) << shown;
    EXPECT_NE(std::string::npos, shown.find(", 2 tone files.")) << shown;
    INPUT("tap", "--text", "OK");
    const std::string first = ringsAndTexts();
    for (const std::string reason : {"tone \\My Documents\\My Ringtones\\Chimes.mp3 from category \"Family\"",
                                     "priority Mute from category \"Work\"", "from the timed profile"})
        EXPECT_NE(std::string::npos, first.find(reason)) << first;
    closeApplication();
    const fs::path carried = scratch_.root() / "carried.tqb";
    const Outcome got = handset({"files", "get", backup, carried.string()});
    ASSERT_EQ(0, got.status) << got.err;
    ASSERT_EQ(0, handset({"shutdown"}).status);

    // The second phone: the same people from a vCard, with another way of
    // writing a number, and no tone files.
    useNewPhone("second phone");
    preparePhone();
    const fs::path cards = scratch_.root() / "people.vcf";
    std::ofstream(cards) << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berg;Anna;;;\r\nTEL;TYPE=CELL:555-0142\r\nEND:VCARD\r\n"
                            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Dahl;Carl;;;\r\nTEL;TYPE=CELL:5550143\r\nEND:VCARD\r\n"
                            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Eck;Dora;;;\r\nTEL;TYPE=HOME:5550144\r\nEND:VCARD\r\n";
    const Outcome imported = handset({"contacts", "import", cards.string()});
    ASSERT_EQ(0, imported.status) << imported.err;
    const Outcome put = handset({"files", "put", carried.string(), backup});
    ASSERT_EQ(0, put.status) << put.err;
    ASSERT_EQ(0, handset({"boot"}).status);
    start();

    INPUT("menu", "Menu/Restore Settings...");
    INPUT("tap", "--text", "Tonquil Backup.tqb");
    INPUT("tap", "--text", "OK");
    shown = screen();
    EXPECT_NE(std::string::npos, shown.find("3 contacts' settings, 2 categories, ")) << shown;
    EXPECT_NE(std::string::npos, shown.find(" caller classes, 2 tone files to copy")) << shown;
    EXPECT_EQ(std::string::npos, shown.find("does not have")) << shown;
    INPUT("tap", "--text", "OK");
    EXPECT_NE(std::string::npos, screen().find("\"The settings were restored.\"")) << screen();
    INPUT("tap", "--text", "OK");
    EXPECT_EQ(first, ringsAndTexts());

    INPUT("menu", "Menu/Check Tones");
    EXPECT_NE(std::string::npos, screen().find(screenText("Every assigned tone can play."))) << screen();
    INPUT("tap", "--text", "Done");
    closeApplication();
}

}  // namespace
