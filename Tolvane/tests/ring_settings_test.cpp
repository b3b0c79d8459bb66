// The phone's ring settings as a call leaves them, on a real registry and
// contacts volume.
#include "ring_settings.h"

#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <handset/faults.h>
#include <handset/log.h>
#include <handset/registry.h>
#include <handset/wstring.h>
#include <settings/caller.h>

#include "contacts_device.h"

namespace {

using settings::ProfileRecord;
using tolvane::applyRingSettings;
using tolvane::buildRingScript;

TEST(RingScriptTest, FollowsTheRecord)
{
    EXPECT_EQ(u"apw3r", buildRingScript(settings::defaultProfile(0), false));
    EXPECT_EQ(u"apw3r", buildRingScript(settings::defaultProfile(1), false));
    EXPECT_EQ(u"apw3r", buildRingScript(settings::defaultProfile(2), false));
    EXPECT_EQ(u"av0pw3r", buildRingScript(settings::defaultProfile(3), false));
    EXPECT_EQ(u"v2w2v2w2apw3r", buildRingScript(settings::defaultProfile(4), false));
    EXPECT_EQ(u"av0pw3r", buildRingScript(settings::defaultVipProfile(), false));

    ProfileRecord record{};
    record.increasingRing = 1;
    record.vibrateCall = 7;  // any non-zero flag is on
    EXPECT_EQ(u"c50av0pc150w3r", buildRingScript(record, false));
    record.vibrateBeforeRing = 5;
    EXPECT_EQ(u"v2w2v2w2v2w2v2w2v2w2c50av0pc150w3r", buildRingScript(record, false));
    EXPECT_EQ(u"", buildRingScript(record, true));
}

TEST(RingScriptTest, StaysWithinItsCapacityWhateverTheRecordHolds)
{
    ProfileRecord record{};
    record.increasingRing = 1;
    record.vibrateCall = 1;
    for (int count : {6, 60, 61, 1000, 0x7fffffff}) {
        SCOPED_TRACE(count);
        record.vibrateBeforeRing = count;
        const std::u16string script = buildRingScript(record, false);
        EXPECT_LE(script.size(), 255u);
        EXPECT_EQ(u"c50av0pc150w3r", script.substr(script.size() - 14));
        EXPECT_EQ(0u, (script.size() - 14) % 4);
    }
    record.vibrateBeforeRing = -3;
    EXPECT_EQ(u"c50av0pc150w3r", buildRingScript(record, false));
}

class RingSettingsTest : public handset::testing::ContactsDeviceTest {
protected:
    void SetUp() override
    {
        ContactsDeviceTest::SetUp();
        settings::resetProfiles();
        settings::writeClassRingTone(settings::UnknownCaller, u"\\Windows\\Unknown.wav");
        for (const char16_t* path : {u"ControlPanel\\Sounds\\PlmORingTone1", u"ControlPanel\\Sounds\\PlmORingTone2",
                                     u"ControlPanel\\Sounds\\RingTone0", u"ControlPanel\\SoundCategories\\Ring"}) {
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, 0, nullptr, &key, nullptr));
            RegCloseKey(key);
        }
    }

    static std::u16string readString(const char16_t* path, const char16_t* name)
    {
        HKEY key = nullptr;
        if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return u"<no key>";
        WCHAR buffer[300];
        DWORD type = 0, size = sizeof buffer;
        const LONG rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS)
            return u"<no value>";
        // Written with exactly one terminator.
        EXPECT_EQ(u'\0', buffer[size / 2 - 1]);
        return std::u16string(buffer, size / 2 - 1);
    }

    static DWORD readVolume()
    {
        HKEY key = nullptr;
        DWORD value = 0xdeadbeef, size = 4;
        RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", 0, KEY_READ, &key);
        RegQueryValueEx(key, u"InitVol", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(key);
        return value;
    }

    // Every ring key the phone has holds this tone and script.
    void expectRing(const std::u16string& tone, const std::u16string& script)
    {
        for (const char16_t* path : {u"ControlPanel\\Sounds\\PlmORingTone1", u"ControlPanel\\Sounds\\PlmORingTone2",
                                     u"ControlPanel\\Sounds\\RingTone0"}) {
            SCOPED_TRACE(handset::toUtf8(path));
            EXPECT_EQ(tone, readString(path, u"Sound"));
            EXPECT_EQ(script, readString(path, u"Script"));
        }
    }

    // The last two lines of the device log.
    static std::pair<std::string, std::string> lastLogLines()
    {
        std::ifstream in(handset::deviceLogPath());
        std::string line, before, last;
        while (std::getline(in, line)) {
            before = last;
            last = line;
        }
        return {before, last};
    }
};

TEST_F(RingSettingsTest, AnUnknownCallerRingsWithTheProfileInForce)
{
    applyRingSettings(app_, u"+49 151 0000000");
    EXPECT_EQ(3u, readVolume());
    expectRing(u"\\Windows\\Unknown.wav", u"apw3r");
    // The audio system was told, after the keys were written; then the
    // reason was logged, with the tone the device does not have.
    const auto [audio, why] = lastLogLines();
    EXPECT_NE(std::string::npos,
              audio.find("audio: reloaded sound settings: sound=\\Windows\\Unknown.wav script=apw3r volume=3"));
    EXPECT_NE(std::string::npos,
              why.find(" why: call from \"+49 151 0000000\": no contact has this number; tone \\Windows\\Unknown.wav "
                       "(file missing) from class UnknownCaller; priority Normal from default; profile Normal from "
                       "the selected profile"))
        << why;
}

TEST_F(RingSettingsTest, AMutedContactGetsSilenceButKeepsItsTone)
{
    handset::contacts::ContactChanges fields;
    fields.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, u"0151 2222222"}};
    fields.ringTone = u"\\My Documents\\Muted.wav";
    fields.priority = settings::PriorityMute;
    addContact(fields);

    applyRingSettings(app_, u"01512222222");
    EXPECT_EQ(0u, readVolume());
    expectRing(u"\\My Documents\\Muted.wav", u"");

    // The next caller is not muted: nothing carries over.
    applyRingSettings(app_, u"0");
    EXPECT_EQ(3u, readVolume());
    expectRing(u"\\Windows\\Unknown.wav", u"apw3r");
}

TEST_F(RingSettingsTest, AVipContactRingsWithTheVipProfile)
{
    handset::contacts::ContactChanges fields;
    fields.phones = {{PIMPR_HOME_TELEPHONE_NUMBER, u"030 1234567"}};
    fields.priority = settings::PriorityVip;
    addContact(fields);
    settings::writeClassRingTone(settings::KnownCaller, u"\\Windows\\Known.wav");

    applyRingSettings(app_, u"0301234567");
    EXPECT_EQ(5u, readVolume());
    expectRing(u"\\Windows\\Known.wav", u"av0pw3r");
}

TEST_F(RingSettingsTest, AnEmptyToneIsWrittenAsAnEmptyString)
{
    settings::writeClassRingTone(settings::NoCallerId, u"");
    settings::writeCurrentProfile(4);
    applyRingSettings(app_, nullptr);
    EXPECT_EQ(4u, readVolume());
    expectRing(u"", u"v2w2v2w2apw3r");
}

TEST_F(RingSettingsTest, KeysThePhoneLacksAreSkippedNotMade)
{
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, u"ControlPanel\\Sounds\\PlmORingTone2"));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKey(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories"));
    applyRingSettings(app_, u"Private");
    EXPECT_EQ(u"<no key>", readString(u"ControlPanel\\Sounds\\PlmORingTone2", u"Sound"));
    EXPECT_EQ(u"\\Windows\\Unknown.wav", readString(u"ControlPanel\\Sounds\\PlmORingTone1", u"Sound"));
    EXPECT_EQ(u"apw3r", readString(u"ControlPanel\\Sounds\\RingTone0", u"Script"));
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", 0, KEY_READ, &key));
}

TEST_F(RingSettingsTest, AFailedStepOfTheWritesLeavesTheOthersWritten)
{
    using handset::faults::Fault;
    using handset::faults::Store;
    const char16_t* const ringKeys[] = {u"ControlPanel\\Sounds\\PlmORingTone1", u"ControlPanel\\Sounds\\PlmORingTone2",
                                        u"ControlPanel\\Sounds\\RingTone0"};
    const tolvane::RingSettings before{1, u"\\Windows\\Old.wav", u"apw3r"};
    const tolvane::RingSettings ring{4, u"\\Windows\\New.wav", u"av0pw3r"};
    handset::faults::failStep(Store::Registry, 0, Fault::IoError);
    tolvane::writeRingSettings(ring);
    const int steps = handset::faults::stepsTaken(Store::Registry);
    ASSERT_GE(steps, 5);  // at least one step a value

    for (Fault fault : {Fault::IoError, Fault::DiskFull, Fault::Busy}) {
        for (int step = 1; step <= steps; ++step) {
            SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(fault) << " at step " << step);
            tolvane::writeRingSettings(before);
            handset::faults::failStep(Store::Registry, step, fault);
            tolvane::writeRingSettings(ring);
            handset::faults::failStep(Store::Registry, 0, fault);

            // What was not written: nothing, the one value whose write
            // failed, or the two of the one key that could not be opened.
            std::vector<std::u16string> stale;
            if (readVolume() != ring.volume)
                stale.push_back(u"InitVol");
            for (const char16_t* path : ringKeys) {
                if (readString(path, u"Sound") != ring.tone)
                    stale.push_back(std::u16string(path) + u" Sound");
                if (readString(path, u"Script") != ring.script)
                    stale.push_back(std::u16string(path) + u" Script");
            }
            ASSERT_LE(stale.size(), 2u) << handset::toUtf8(stale.front());
            if (stale.size() == 2) {
                EXPECT_EQ(stale[0].substr(0, stale[0].find(u' ')), stale[1].substr(0, stale[1].find(u' ')));
            }
        }
    }
}

}  // namespace
