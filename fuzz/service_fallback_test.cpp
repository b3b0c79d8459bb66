// The call's ring decision and the writing of the phone's ring settings
// while the stores fail: every storage step of a call, in turn, fails. The
// services must never crash, must take the fallbacks of a missing contact or
// value, and must leave the phone's ring settings whole: each value either
// as it was or as one decision made it, never a mixture of two decisions.
#include <set>
#include <string>

#include <gtest/gtest.h>

#include <handset/contacts_admin.h>
#include <handset/factory.h>
#include <handset/faults.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include <settings/caller.h>
#include <settings/settings.h>

#include "contacts_device.h"
#include "ring_settings.h"

namespace {

using handset::faults::Fault;
using handset::faults::Store;
using namespace settings;

constexpr const char16_t* kCaller = u"+44 20 7946 0018";
constexpr const char16_t* kContactTone = u"\\My Documents\\My Ringtones\\Old Phone.wav";
constexpr const char16_t* kCategoryTone = u"\\Windows\\Chimes.mp3";
constexpr const char16_t* kKnownTone = u"\\Windows\\Ring.wav";
constexpr const char16_t* kUnknownTone = u"\\Windows\\Alert.wav";
constexpr const WCHAR* kRingKeys[] = {u"ControlPanel\\Sounds\\RingTone0", u"ControlPanel\\Sounds\\PlmORingTone1",
                                      u"ControlPanel\\Sounds\\PlmORingTone2"};

std::u16string readText(const WCHAR* path, const WCHAR* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, 0, &key) != ERROR_SUCCESS)
        return u"(no key)";
    WCHAR text[512];
    DWORD type = 0, cb = sizeof text;
    const LONG rc = RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &cb);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return u"(missing)";
    if (type != REG_SZ || cb < 2 || text[cb / 2 - 1] != u'\0')
        return u"(not a whole string)";
    return std::u16string(text, cb / 2 - 1);
}

DWORD readVolume()
{
    HKEY key = nullptr;
    DWORD value = 0xdeadbeef, type = 0, cb = sizeof value;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, u"ControlPanel\\SoundCategories\\Ring", 0, 0, &key) == ERROR_SUCCESS) {
        RegQueryValueEx(key, u"InitVol", nullptr, &type, reinterpret_cast<BYTE*>(&value), &cb);
        RegCloseKey(key);
    }
    return value;
}

class ServiceFallbackTest : public handset::testing::ContactsDeviceTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(handset::createDevice(device_.root(), handset::ReplaceExisting::Yes).ok());
        ContactsDeviceTest::SetUp();
        for (const WCHAR* path : kRingKeys) {
            HKEY key = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, 0, 0, nullptr, &key, nullptr));
            RegCloseKey(key);
        }
        resetProfiles();
        writeCurrentProfile(3);  // "Loud", to tell it from the VIP record
        writeClassRingTone(KnownCaller, kKnownTone);
        writeClassRingTone(UnknownCaller, kUnknownTone);
        writeCategoryRingTone(u"Family", kCategoryTone);
        writeCategoryPriority(u"Family", PriorityVip);
        handset::contacts::ContactChanges contact;
        contact.lastName = u"Caller";
        contact.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, kCaller}};
        contact.categories = u"Family";
        contact.ringTone = kContactTone;
        addContact(contact);
    }

    void TearDown() override
    {
        handset::faults::failStep(Store::Contacts, 0, Fault::IoError);
        handset::faults::failStep(Store::Registry, 0, Fault::IoError);
        ContactsDeviceTest::TearDown();
    }

    // The steps `store` takes for one call of `run`.
    template <typename Run>
    int stepsOf(Store store, Run run)
    {
        handset::faults::failStep(store, 0, Fault::IoError);
        run();
        return handset::faults::stepsTaken(store);
    }

    static inline const Fault kKinds[] = {Fault::IoError, Fault::Busy, Fault::DiskFull};
};

TEST_F(ServiceFallbackTest, AFailingContactsStoreGivesAFallbackDecision)
{
    const RingDecision whole = resolveCallRing(app_, kCaller);
    ASSERT_EQ(kContactTone, whole.tone);
    ASSERT_EQ(defaultVipProfile(), whole.profile);

    const int steps = stepsOf(Store::Contacts, [&] { (void)resolveCallRing(app_, kCaller); });
    ASSERT_GT(steps, 2);
    const std::set<std::u16string> tones = {kContactTone, kCategoryTone, kKnownTone, kUnknownTone};
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE(step);
        handset::faults::failStep(Store::Contacts, step, kKinds[step % 3]);
        const RingDecision decision = resolveCallRing(app_, kCaller);
        handset::faults::failStep(Store::Contacts, 0, Fault::IoError);
        EXPECT_TRUE(tones.count(decision.tone));
        EXPECT_FALSE(decision.mute);
        if (decision.tone == kUnknownTone) {
            // The lookup failed: the caller is nobody, rung with the profile in force.
            EXPECT_EQ(defaultProfile(3), decision.profile);
        } else {
            // The contact was found; its category's priority still counts,
            // unless reading the categories failed too.
            EXPECT_TRUE(decision.profile == defaultVipProfile() || decision.profile == defaultProfile(3));
        }
        // The store is sound again for the next call.
        EXPECT_EQ(whole, resolveCallRing(app_, kCaller));
    }
}

TEST_F(ServiceFallbackTest, TheRingSettingsAreWrittenWholeWhateverStoreFails)
{
    // Every script the decisions of this call may lead to, and the factory's.
    ProfileRecord silent;
    const std::set<std::u16string> scripts = {tolvane::buildRingScript(defaultVipProfile(), false),
                                              tolvane::buildRingScript(defaultProfile(3), false),
                                              tolvane::buildRingScript(silent, false), u"apw3r", u"(missing)"};
    const std::set<std::u16string> sounds = {kContactTone, kCategoryTone, kKnownTone, kUnknownTone, u"",
                                             u"\\Windows\\Ring.wav", u"(missing)"};
    const std::set<DWORD> volumes = {DWORD(defaultVipProfile().callVolume), DWORD(defaultProfile(3).callVolume),
                                     0u, 3u};

    int injected = 0;
    for (Store store : {Store::Contacts, Store::Registry}) {
        SCOPED_TRACE(store == Store::Contacts ? "contacts" : "registry");
        const int steps = stepsOf(store, [&] { tolvane::applyRingSettings(app_, kCaller); });
        ASSERT_GT(steps, 2);
        for (int step = 1; step <= steps; ++step) {
            SCOPED_TRACE(step);
            handset::faults::failStep(store, step, kKinds[step % 3]);
            tolvane::applyRingSettings(app_, kCaller);
            handset::faults::failStep(store, 0, Fault::IoError);
            ++injected;
            for (const WCHAR* path : kRingKeys) {
                EXPECT_TRUE(sounds.count(readText(path, u"Sound"))) << handset::toUtf8(readText(path, u"Sound"));
                EXPECT_TRUE(scripts.count(readText(path, u"Script")));
            }
            EXPECT_TRUE(volumes.count(readVolume())) << readVolume();
            if (store == Store::Contacts) {
                // Only the decision can change: the three keys agree with
                // each other and with the volume.
                const std::u16string sound = readText(kRingKeys[0], u"Sound");
                const std::u16string script = readText(kRingKeys[0], u"Script");
                for (const WCHAR* path : kRingKeys) {
                    EXPECT_EQ(sound, readText(path, u"Sound"));
                    EXPECT_EQ(script, readText(path, u"Script"));
                }
                const ProfileRecord& used =
                    script == tolvane::buildRingScript(defaultVipProfile(), false) ? defaultVipProfile()
                                                                                   : defaultProfile(3);
                EXPECT_EQ(DWORD(used.callVolume), readVolume());
            }
            // The next call, with the stores sound, rings for the contact again.
            tolvane::applyRingSettings(app_, kCaller);
            EXPECT_EQ(kContactTone, readText(kRingKeys[0], u"Sound"));
        }
    }
    EXPECT_GE(injected, 10);
    RecordProperty("faults_injected", injected);
}

}  // namespace
