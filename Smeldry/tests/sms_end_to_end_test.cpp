// Text messages end to end, with real processes: the device booted with
// Smeldry.dll registered and enrolled, `handset sms` delivering a message
// from a contact's number; the notification the host raised follows what
// the rule client wrote, the player is started with the tone, and the rule
// client's trace is in the log.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/mapi.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/settings.h>

#include "run_program.h"
#include "test_device.h"

namespace {

namespace fs = std::filesystem;
using handset::testing::Outcome;
using handset::testing::slurp;

constexpr char16_t kClassId[] = u"{6C1E2A90-3B7D-4E5F-9A12-7D4C0B8E5F31}";

// Whether a player of this phone is still running.
bool playerRunning(const fs::path& player)
{
    std::error_code ec;
    for (fs::directory_iterator it("/proc", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        const fs::path exe = fs::read_symlink(it->path() / "exe", linkError);
        if (!linkError && exe == player)
            return true;
    }
    return false;
}

class SmsEndToEnd : public ::testing::Test {
protected:
    fs::path phone() const { return scratch_.root() / "phone"; }
    fs::path player() const { return phone() / "fs" / "Program Files" / "Tonquil" / "plimsey.exe"; }

    void SetUp() override
    {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        setenv("HANDSET_AUDIO", "none", 1);
        const Outcome init = handset({"init"});
        ASSERT_EQ(0, init.status) << init.err;
        handset::setDeviceRoot(phone());

        // What the installation package does for the service: the player in
        // the installation folder, the class registered and enrolled.
        fs::create_directories(player().parent_path());
        fs::copy_file(PLIMSEY_EXE, player());
        setString(HKEY_CLASSES_ROOT, u"CLSID\\{6C1E2A90-3B7D-4E5F-9A12-7D4C0B8E5F31}\\InProcServer32", u"",
                  handset::fromUtf8(SMELDRY_DLL));
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Inbox\\Svc\\SMS\\Rules", 0,
                                                nullptr, 0, 0, nullptr, &key, nullptr));
        const DWORD enrolled = 1;
        RegSetValueEx(key, kClassId, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enrolled), sizeof enrolled);
        RegCloseKey(key);

        settings::resetProfiles();
        settings::writeClassSmsTone(settings::UnknownCaller, u"");
        addContact(u"+49 151 1234-5678", u"\\Windows\\Alert.wav", settings::PriorityNormal);
        addContact(u"+49 160 7654321", u"\\Windows\\Melody.mid", settings::PriorityNormal);
        addContact(u"+49 170 1111111", u"\\Windows\\Alert.wav", settings::PriorityVip);
    }

    void TearDown() override
    {
        handset({"shutdown"});
        // The player is no resident: it ends by itself within its limits. A
        // guard against a hung test, not a measure of time.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (playerRunning(player()) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(playerRunning(player()));
        unsetenv("HANDSET_AUDIO");
    }

    static void setString(HKEY root, const char16_t* path, const char16_t* name, const std::u16string& text)
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(root, path, 0, nullptr, 0, 0, nullptr, &key, nullptr));
        RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                      static_cast<DWORD>((text.size() + 1) * 2));
        RegCloseKey(key);
    }

    static void addContact(const char16_t* number, const char16_t* smsTone, WORD priority)
    {
        handset::contacts::ContactChanges contact;
        contact.firstName = u"Anna";
        contact.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, number}};
        contact.smsTone = smsTone;
        contact.priority = priority;
        ASSERT_EQ(ERROR_SUCCESS, handset::contacts::addContact(contact));
    }

    Outcome handset(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {HANDSET_BIN, "--device", phone().string()});
        return ::handset::testing::runProgram(std::move(arguments), scratch_.root());
    }

    std::string log() const { return slurp(phone() / "log" / "device.log"); }

    handset::testing::TempDevice scratch_;
};

TEST_F(SmsEndToEnd, MessagesFromContactsGetTheirToneAndProfile)
{
    const Outcome boot = handset({"boot"});
    ASSERT_EQ(0, boot.status) << boot.err;

    // A .wav tone: the player plays it; the notification stays silent and
    // shows the message, as the Normal profile says.
    Outcome sms = handset({"sms", "--from", "Anna <+4915112345678>", "--text", "Hello"});
    ASSERT_EQ(0, sms.status) << sms.err << log();
    // Then why, as the rule client logged it.
    EXPECT_EQ(0u, sms.out.rfind("sound=off\nwave=\\Windows\\Alarm Triangle.mid\nvibrate=off\ndisplay=on\n", 0)) << sms.out;
    EXPECT_NE(std::string::npos,
              sms.out.find("\nwhy=sms from \"Anna <+4915112345678>\": contact \"Anna\"; tone \\Windows\\Alert.wav"))
        << sms.out;
    EXPECT_NE(std::string::npos, log().find("exec: \"\\Program Files\\Tonquil\\plimsey.exe\" \\Windows\\Alert.wav\n"));

    // A MIDI tone is the notification's own sound; no player.
    sms = handset({"sms", "--from", "+491607654321"});
    ASSERT_EQ(0, sms.status) << sms.err << log();
    EXPECT_EQ(0u, sms.out.rfind("sound=on\nwave=\\Windows\\Melody.mid\nvibrate=off\ndisplay=on\nwhy=", 0)) << sms.out;
    EXPECT_EQ(std::string::npos, log().find("plimsey.exe\" \\Windows\\Melody.mid"));

    // A VIP vibrates.
    sms = handset({"sms", "--from", "VIP <+491701111111>"});
    ASSERT_EQ(0, sms.status) << sms.err << log();
    EXPECT_EQ(0u, sms.out.rfind("sound=off\nwave=\\Windows\\Alarm Triangle.mid\nvibrate=on\ndisplay=on\n", 0)) << sms.out;
    EXPECT_NE(std::string::npos, sms.out.find("; priority VIP from the contact; profile VIP from VIP priority\n"))
        << sms.out;

    // The rule client was made once and lives in the host; the host's
    // shutdown releases it.
    EXPECT_NE(std::string::npos, log().find("debug: CMailRuleClient reference is now 1\n"));
    EXPECT_EQ(std::string::npos, log().find("debug: CMailRuleClient Deleted!"));
    ASSERT_EQ(0, handset({"shutdown"}).status);
    EXPECT_NE(std::string::npos, log().find("debug: CMailRuleClient Deleted!\n"));
}

}  // namespace
