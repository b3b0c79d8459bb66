// The SMS alert of one message, on a real registry and contacts volume: the
// sender's key and the five-digit rule, tone and priority from contact,
// category and the unknown callers' class, the MIDI rule, the notification
// settings the profile calls for, and the player's start.
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <handset/clock.h>
#include <handset/device.h>
#include <handset/log.h>

#include "sms_alert.h"
#include "sms_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace smeldry::testing;
using smeldry::lookupKey;
using smeldry::senderMatches;
using Strings = std::vector<std::string>;

constexpr char16_t kBellWav[] = u"\\My Documents\\My Ringtones\\Bell.wav";
constexpr char16_t kBellMidi[] = u"\\My Documents\\My Ringtones\\Bell.MID";
constexpr char16_t kAnna[] = u"+49 151 1234-5678";
constexpr DWORD kSound = NOTIFICATION_OPTION_SOUND;
constexpr DWORD kVibrate = NOTIFICATION_OPTION_VIBRATE;
constexpr DWORD kDisplay = NOTIFICATION_OPTION_DISPLAY;

TEST(LookupKeyTest, TakesTheNumberBetweenTheBrackets)
{
    const struct {
        std::u16string address;
        std::u16string key;
    } cases[] = {
        {u"Anna <+4915112345678>", u"4915112345678"},
        {u"+4915112345678", u"+4915112345678"},  // no brackets: as it stands, "+" and all
        {u"Bob <12-345>", u"12-345"},            // not reduced to digits
        {u"A <1> <+23>", u"23"},                 // the last "<" counts
        {u"<+>", u""},
        {u"<>", u""},
        {u"", u""},
        {u">", u">"},
        {u"abc<", u"abc<"},              // a "<" in the last place is never looked at
        {u"Anna <+4915112345678", u"491511234567"},  // the last character is taken for ">"
        {u"<++12345>", u"+12345"},        // only one "+" goes
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(handset::toUtf8(c.address));
        EXPECT_EQ(c.key, lookupKey(c.address));
    }
}

TEST(LookupKeyTest, SenderMatchesOnTheLastFiveCharacters)
{
    EXPECT_TRUE(senderMatches(u"4915112345678", kAnna));
    EXPECT_TRUE(senderMatches(u"+4915112345678", kAnna));
    EXPECT_TRUE(senderMatches(u"0045678", kAnna));  // the other digits do not count
    EXPECT_TRUE(senderMatches(u"12345", u"12345"));
    EXPECT_FALSE(senderMatches(u"1234", u"1234"));
    EXPECT_FALSE(senderMatches(u"12345", u"1234"));
    EXPECT_FALSE(senderMatches(u"12345", u"12-34"));
    EXPECT_FALSE(senderMatches(u"12-345", u"12345"));  // the key keeps its hyphen
    EXPECT_FALSE(senderMatches(u"45679", kAnna));
    EXPECT_FALSE(senderMatches(u"", u""));
}

using ProcessMessageTest = SmsTest;

TEST_F(ProcessMessageTest, ContactToneGoesToThePlayerWhateverTheAddressForm)
{
    addContact(kAnna, kBellWav);
    for (const char16_t* sender : {u"Anna <+4915112345678>", u"+4915112345678"}) {
        SCOPED_TRACE(handset::toUtf8(sender));
        log_.skip();
        const Delivery d = send(sender);
        EXPECT_EQ(S_OK, d.hr);
        EXPECT_EQ(MRC_NOT_HANDLED, d.handled);
        const Notification n = notification();
        EXPECT_EQ(u"\\Windows\\Alarm Triangle.mid", n.wave);
        // Normal profile: no SMS vibration, the message shown; the player sounds.
        EXPECT_EQ(kDisplay | kOtherOption, n.options);
        EXPECT_EQ(0u, n.vibrateWithRingerOff);
        EXPECT_EQ(0u, n.vibrateWithRingerOn);
        EXPECT_EQ(Strings{"\\My Documents\\My Ringtones\\Bell.wav"}, playerStarts());
        EXPECT_EQ(Strings{}, traced());
        const smeldry::DecisionState state = client_->decisionState();
        EXPECT_EQ(0, state.priority);
        EXPECT_FALSE(state.notificationPlays);
        EXPECT_EQ(settings::defaultProfile(0), state.profile);
    }
}

TEST_F(ProcessMessageTest, FiveDigitRuleDecidesWhoIsAContact)
{
    addContact(u"1234", kBellWav);
    addContact(u"12345", u"\\Five.wav");
    addContact(u"0151 9876", u"\\Other.wav");
    const struct {
        const char16_t* sender;
        const char* tone;
    } cases[] = {
        {u"1234", "\\Windows\\Unknown.wav"},      // four digits never match
        {u"12345", "\\Five.wav"},
        {u"Bob <+12345>", "\\Five.wav"},
        {u"12-345", "\\Windows\\Unknown.wav"},    // proposed, but the key's tail is "2-345"
        {u"01519876", "\\Other.wav"},
        {u"Private", "\\Windows\\Unknown.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(handset::toUtf8(c.sender));
        log_.skip();
        EXPECT_EQ(S_OK, send(c.sender).hr);
        EXPECT_EQ(Strings{c.tone}, playerStarts());
    }
}

TEST_F(ProcessMessageTest, WithoutAContactsConnectionNoContactMatches)
{
    addContact(kAnna, kBellWav, settings::PriorityMute);
    smeldry::DecisionState state;
    state.priority = settings::PriorityVip;
    state.notificationPlays = true;
    smeldry::decide(nullptr, u"4915112345678", state);
    EXPECT_EQ(settings::PriorityNormal, state.priority);
    EXPECT_EQ(kUnknownTone, state.tone);
    EXPECT_FALSE(state.notificationPlays);
    EXPECT_EQ(kDisplay | kOtherOption, notification().options);
}

TEST_F(ProcessMessageTest, ToneFallsFromContactToCategoryToUnknownCallers)
{
    settings::writeCategorySmsTone(u"Family", u"\\Family.wav");
    settings::writeCategoryRingTone(u"Work", u"\\WorkRing.wav");  // a key without "Sms Tone"
    addContact(u"+49 151 1111111", u"\\Own.wav", std::nullopt, u"Family,Work");
    addContact(u"+49 151 2222222", std::nullopt, std::nullopt, u"Family,Work");
    addContact(u"+49 151 3333333", std::nullopt, std::nullopt, u"Work,Family");
    addContact(u"+49 151 4444444", u"", std::nullopt, u"Nobody");
    const struct {
        const char16_t* sender;
        const char* tone;
    } cases[] = {
        {u"+491511111111", "\\Own.wav"},
        {u"+491512222222", "\\Family.wav"},
        // Not KnownCaller's: the unknown callers' tone is the one fallback.
        {u"+491513333333", "\\Windows\\Unknown.wav"},
        {u"+491514444444", "\\Windows\\Unknown.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(handset::toUtf8(c.sender));
        log_.skip();
        send(c.sender);
        EXPECT_EQ(Strings{c.tone}, playerStarts());
    }
}

TEST_F(ProcessMessageTest, CategoryPriorityAppliesUnlessTheContactIsVipOrMute)
{
    // Normal vibrates for nothing, VIP for everything: the options tell them apart.
    settings::writeCategorySmsTone(u"Vip", u"");
    settings::writeCategoryPriority(u"Vip", settings::PriorityVip);
    settings::writeCategorySmsTone(u"Mute", u"");
    settings::writeCategoryPriority(u"Mute", settings::PriorityMute);
    settings::writeCategorySmsTone(u"Odd", u"");
    settings::writeCategoryPriority(u"Odd", 7);
    const struct {
        std::optional<WORD> contact;
        const char16_t* category;
        std::uint16_t priority;
        DWORD options;
    } cases[] = {
        {std::nullopt, u"Vip", 1, kVibrate | kDisplay},
        {0, u"Vip", 1, kVibrate | kDisplay},
        {3, u"Vip", 1, kVibrate | kDisplay},  // a value no dialog offers gives way too
        {0, u"Mute", 2, 0},
        {1, u"Mute", 1, kVibrate | kDisplay},
        {2, u"Vip", 2, 0},
        {0, u"", 0, kDisplay},
        {0, u"Missing", 0, kDisplay},
        {0, u"Odd", 0, kDisplay},  // a damaged category value counts as Normal
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(n);
        const std::u16string number = u"+49 151 70000" + handset::fromUtf8(std::to_string(10 + n));
        addContact(number, kBellWav, c.contact, std::u16string(c.category));
        log_.skip();
        EXPECT_EQ(S_OK, send(number).hr);
        const smeldry::DecisionState state = client_->decisionState();
        EXPECT_EQ(c.priority, state.priority);
        const Notification after = notification();
        EXPECT_EQ(c.options | kOtherOption, after.options);
        const DWORD vibrating = (c.options & kVibrate) ? 1 : 0;
        EXPECT_EQ(vibrating, after.vibrateWithRingerOff);
        EXPECT_EQ(vibrating, after.vibrateWithRingerOn);
        EXPECT_EQ(Strings{c.priority == 2 ? "" : "\\My Documents\\My Ringtones\\Bell.wav"}, playerStarts());
        ++n;
    }
}

TEST_F(ProcessMessageTest, MidiToneIsPlayedByTheNotificationWhenItCan)
{
    addContact(kAnna, kBellMidi);
    EXPECT_EQ(S_OK, send(u"+4915112345678").hr);
    Notification n = notification();
    EXPECT_EQ(kBellMidi, n.wave);
    EXPECT_EQ(kSound | kDisplay | kOtherOption, n.options);
    EXPECT_EQ(Strings{}, playerStarts());
    EXPECT_TRUE(client_->decisionState().notificationPlays);
    const Strings audio = log_.lines("audio");
    EXPECT_FALSE(audio.empty()) << "the sound settings were reloaded";

    // smsVolume 0: the MIDI tone stays with the notification, silent.
    settings::ProfileRecord quiet = settings::defaultProfile(0);
    quiet.smsVolume = 0;
    quiet.vibrateSms = 1;
    ASSERT_TRUE(settings::writeProfile(quiet));
    log_.skip();
    send(u"+4915112345678");
    n = notification();
    EXPECT_EQ(kBellMidi, n.wave);
    EXPECT_EQ(kVibrate | kDisplay | kOtherOption, n.options);
    EXPECT_EQ(1u, n.vibrateWithRingerOff);
    EXPECT_EQ(Strings{}, playerStarts());
}

TEST_F(ProcessMessageTest, MidiToneGoesToThePlayerWithoutVibrateWithRingerOff)
{
    withoutMidiNotification();
    addContact(kAnna, kBellMidi);
    send(u"+4915112345678");
    const Notification n = notification();
    EXPECT_EQ(u"notify", n.wave);
    EXPECT_EQ(kDisplay | kOtherOption, n.options);
    EXPECT_FALSE(n.vibrateWithRingerOff) << "written only where it was";
    EXPECT_FALSE(n.vibrateWithRingerOn);
    EXPECT_EQ(Strings{"\\My Documents\\My Ringtones\\Bell.MID"}, playerStarts());
}

TEST_F(ProcessMessageTest, MuteSilencesEverything)
{
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_ALL_ACCESS, &key));
        setDword(key, u"Options", 0xFFFFFFFF);
        setDword(key, u"VibrateWithRingerOff", 1);
        RegCloseKey(key);
    }
    addContact(kAnna, kBellWav, settings::PriorityMute);
    send(u"+4915112345678");
    Notification n = notification();
    EXPECT_EQ(~(kSound | kVibrate | kDisplay), n.options);
    EXPECT_EQ(0u, n.vibrateWithRingerOff);
    EXPECT_EQ(0u, n.vibrateWithRingerOn);
    EXPECT_EQ(Strings{""}, playerStarts());

    // A muted MIDI tone: kept by the notification, which stays silent; no player.
    addContact(u"+49 151 7654321", kBellMidi, settings::PriorityMute);
    log_.skip();
    send(u"+491517654321");
    n = notification();
    EXPECT_EQ(kBellMidi, n.wave);
    EXPECT_EQ(~(kSound | kVibrate | kDisplay), n.options);
    EXPECT_EQ(Strings{}, playerStarts());
}

TEST_F(ProcessMessageTest, SmsVolumeZeroStartsThePlayerSilentButVibratesAndShows)
{
    settings::ProfileRecord quiet = settings::defaultProfile(0);
    quiet.smsVolume = 0;
    quiet.vibrateSms = 1;
    ASSERT_TRUE(settings::writeProfile(quiet));
    addContact(kAnna, kBellWav);
    send(u"+4915112345678");
    const Notification n = notification();
    EXPECT_EQ(kVibrate | kDisplay | kOtherOption, n.options);
    EXPECT_EQ(1u, n.vibrateWithRingerOff);
    EXPECT_EQ(Strings{""}, playerStarts());
}

TEST_F(ProcessMessageTest, EveryMessageLogsWhyItSoundsAsItDoes)
{
    // Tones the device has, and one it lacks.
    for (const char16_t* present : {u"\\Family.wav", kUnknownTone}) {
        const fs::path file = *handset::mapDevicePath(present);
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "RIFF";
    }
    settings::writeCategorySmsTone(u"Family", u"\\Family.wav");
    settings::writeCategoryPriority(u"Family", settings::PriorityMute);
    addContact(u"+49 151 1111111", u"\\Own.wav", settings::PriorityVip, u"Family");
    addContact(u"+49 151 2222222", std::nullopt, std::nullopt, u"Family");
    addContact(u"+49 151 3333333");
    const settings::ScheduleEntry schedule[] = {{7 * 60, 0}, {22 * 60, 2}};
    settings::writeSchedule(schedule, 2);
    ASSERT_TRUE(handset::setClockTimeOfDay(23, 0));

    const struct {
        std::int32_t selector;
        const char16_t* sender;
        const char* why;
    } cases[] = {
        {0, u"Anna <+491511111111>",
         "sms from \"Anna <+491511111111>\": contact \"Anna\"; tone \\Own.wav (file missing) from the contact; "
         "priority VIP from the contact; profile VIP from VIP priority"},
        {0, u"+491512222222",
         "sms from \"+491512222222\": contact \"Anna\"; tone \\Family.wav from category \"Family\"; priority Mute "
         "from category \"Family\"; profile none from Mute priority"},
        {3, u"+491513333333",
         "sms from \"+491513333333\": contact \"Anna\"; tone \\Windows\\Unknown.wav from class UnknownCaller; "
         "priority Normal from default; profile Loud from the selected profile"},
        {settings::PROFILE_SCHEDULE, u"+4930999999",
         "sms from \"+4930999999\": no contact has this number; tone \\Windows\\Unknown.wav from class "
         "UnknownCaller; priority Normal from default; profile Silent from the schedule (22:00 Silent)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(handset::toUtf8(c.sender));
        settings::writeCurrentProfile(c.selector);
        log_.skip();
        send(c.sender);
        EXPECT_EQ(Strings{c.why}, log_.lines("why"));
    }
}

TEST_F(ProcessMessageTest, ScheduleEveningEntryHoldsPastMidnight)
{
    const settings::ScheduleEntry schedule[] = {{7 * 60, 0}, {22 * 60, 2}};
    settings::writeSchedule(schedule, 2);
    settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);
    addContact(kAnna, kBellWav);

    const struct {
        int hour;
        std::int32_t profile;
        DWORD options;
        const char* commandLine;
    } cases[] = {
        {3, 2, 0, ""},  // the evening's Silent still holds, as it does for a call
        {7, 0, kDisplay, "\\My Documents\\My Ringtones\\Bell.wav"},
        {23, 2, 0, ""},  // Silent: no sound, nothing shown
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hour);
        ASSERT_TRUE(handset::setClockTimeOfDay(c.hour, 0));
        log_.skip();
        send(u"Anna <+4915112345678>");
        EXPECT_EQ(c.profile, client_->decisionState().profile.index);
        EXPECT_EQ(c.options | kOtherOption, notification().options);
        EXPECT_EQ(Strings{c.commandLine}, playerStarts());
    }
}

TEST_F(ProcessMessageTest, NoToneAnywhereStartsThePlayerWithAnEmptyCommandLine)
{
    settings::writeClassSmsTone(settings::UnknownCaller, u"");
    send(u"Stranger <+4400000000>");
    EXPECT_EQ(u"\\Windows\\Alarm Triangle.mid", notification().wave);
    EXPECT_EQ(Strings{""}, playerStarts());

    withoutMidiNotification();
    log_.skip();
    send(u"Stranger <+4400000000>");
    EXPECT_EQ(u"notify", notification().wave);
    EXPECT_EQ(Strings{""}, playerStarts());
}

TEST_F(ProcessMessageTest, WithoutTheNotificationClassOnlyThePlayerPlays)
{
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, kSmsNotificationClassKey));
    addContact(kAnna, kBellMidi);
    EXPECT_EQ(S_OK, send(u"+4915112345678").hr);
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_READ, &key))
        << "the service never creates the class";
    EXPECT_EQ(Strings{"\\My Documents\\My Ringtones\\Bell.MID"}, playerStarts());
}

TEST_F(ProcessMessageTest, LongestTonePathsAndTheInstallDirectoryReadWhole)
{
    auto pathOf = [](char16_t fill) {
        std::u16string path = u"\\My Documents\\" + std::u16string(255 - 14 - 4, fill) + u".wav";
        EXPECT_EQ(255u, path.size());
        return path;
    };
    const std::u16string own = pathOf(u'o'), category = pathOf(u'c'), unknown = pathOf(u'u');
    settings::writeCategorySmsTone(u"Family", category);
    settings::writeClassSmsTone(settings::UnknownCaller, unknown);
    addContact(u"+49 151 1111111", own);
    addContact(u"+49 151 2222222", std::nullopt, std::nullopt, u"Family");
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil", 0, nullptr, 0, 0,
                                                nullptr, &key, nullptr));
        setString(key, u"InstallDir", u"\\Storage Card\\Tonquil");
        RegCloseKey(key);
    }
    send(u"+491511111111");
    send(u"+491512222222");
    send(u"+443333333333");
    const std::string prefix = "could not open \"\\Storage Card\\Tonquil\\plimsey.exe\" ";
    const Strings exec = log_.lines("exec");
    ASSERT_EQ(3u, exec.size());
    EXPECT_EQ(prefix + handset::toUtf8(own) + " (error 2)", exec[0]);
    EXPECT_EQ(prefix + handset::toUtf8(category) + " (error 2)", exec[1]);
    EXPECT_EQ(prefix + handset::toUtf8(unknown) + " (error 2)", exec[2]);
}

TEST_F(ProcessMessageTest, InstalledPlayerIsStartedWithTheBarePath)
{
    const fs::path folder = device_.root() / "fs" / "Program Files" / "Tonquil";
    fs::create_directories(folder);
    // A stand-in that ends at once: what is checked is the start, not the playing.
    fs::copy_file("/bin/true", folder / "plimsey.exe");
    addContact(kAnna, u"\\My Documents\\My Ringtones\\Old Phone.wav");
    send(u"Anna <+4915112345678>");
    EXPECT_EQ(Strings{"\"\\Program Files\\Tonquil\\plimsey.exe\" \\My Documents\\My Ringtones\\Old Phone.wav"},
              log_.lines("exec"));
}

TEST_F(ProcessMessageTest, UnreadableMessageRunsOnThePreviousDecision)
{
    // A fresh client has a silent decision: the player gets nothing to play.
    Delivery d = deliverId(FakeStore::unknownId());
    EXPECT_EQ(MAPI_E_NOT_FOUND, d.hr);
    EXPECT_EQ(0xbd, d.handled) << "left untouched";
    EXPECT_EQ(Strings{"Unable to get the message!"}, traced());
    EXPECT_EQ(Strings{""}, playerStarts());
    EXPECT_EQ(smeldry::DecisionState{}, client_->decisionState());

    addContact(kAnna, kBellWav, settings::PriorityVip);
    send(u"+4915112345678");
    const smeldry::DecisionState vip = client_->decisionState();
    EXPECT_EQ(settings::PriorityVip, vip.priority);
    // The registry is not touched again by a message that cannot be read.
    {
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_ALL_ACCESS, &key));
        setDword(key, u"Options", 0x40);
        RegCloseKey(key);
    }

    StoredMessage noSubject;
    noSubject.subject.reset();
    noSubject.sender = u"+4915112345678";
    StoredMessage noSender;
    StoredMessage failing;
    failing.sender = u"+4915112345678";
    failing.getPropsFails = MAPI_E_CALL_FAILED;
    const struct {
        StoredMessage message;
        HRESULT hr;
        const char* trace;
    } cases[] = {
        {noSubject, MAPI_E_NOT_FOUND, "Unable to get the message body!"},
        {noSender, MAPI_E_NOT_FOUND, "Couldn't get the sender's address!"},
        {failing, MAPI_E_CALL_FAILED, "Unable to get the message body!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trace);
        log_.skip();
        d = deliver(c.message);
        EXPECT_EQ(c.hr, d.hr);
        EXPECT_EQ(0xbd, d.handled);
        EXPECT_EQ(Strings{c.trace}, traced());
        EXPECT_EQ(Strings{"\\My Documents\\My Ringtones\\Bell.wav"}, playerStarts());
        EXPECT_EQ(vip, client_->decisionState());
        EXPECT_EQ(0x40u, notification().options);
    }

    // No store at all is a message that cannot be read, not a crash.
    log_.skip();
    MRCHANDLED handled = static_cast<MRCHANDLED>(0xbd);
    EXPECT_EQ(MAPI_E_INVALID_PARAMETER, client_->ProcessMessage(nullptr, 0, nullptr, 0, nullptr, nullptr, &handled));
    EXPECT_EQ(0xbd, handled);
    EXPECT_EQ(Strings{"Unable to get the message!"}, traced());
}

TEST_F(ProcessMessageTest, MessagesFromSeveralThreadsAreTakenOneAtATime)
{
    addContact(u"+49 151 1111111", u"\\One.wav");
    addContact(u"+49 151 2222222", u"\\Two.wav", settings::PriorityVip);
    constexpr int kEach = 10;
    std::vector<std::vector<BYTE>> ones, twos;
    for (int i = 0; i < kEach; ++i) {
        StoredMessage one, two;
        one.sender = u"+491511111111";
        two.sender = u"+491512222222";
        ones.push_back(store_.add(one));
        twos.push_back(store_.add(two));
    }
    auto run = [this](std::vector<std::vector<BYTE>>& ids) {
        // Each thread has its own COM initialisation, as the host's would.
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        for (auto& id : ids) {
            MRCHANDLED handled{};
            client_->ProcessMessage(&store_, static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(id.data()), 0,
                                    nullptr, nullptr, &handled);
        }
        CoUninitialize();
    };
    std::thread first(run, std::ref(ones));
    std::thread second(run, std::ref(twos));
    first.join();
    second.join();

    const Strings starts = playerStarts();
    EXPECT_EQ(2u * kEach, starts.size());
    for (const std::string& commandLine : starts)
        EXPECT_TRUE(commandLine == "\\One.wav" || commandLine == "\\Two.wav") << commandLine;
    const smeldry::DecisionState last = client_->decisionState();
    EXPECT_EQ(last.tone == u"\\Two.wav" ? settings::PriorityVip : settings::PriorityNormal, last.priority);
    EXPECT_EQ(0, store_.openMessages());
}

}  // namespace
