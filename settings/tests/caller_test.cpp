// Who is calling, and how the phone should ring for them: the call side of
// caller classification, on a real contacts volume.
#include <settings/caller.h>

#include <handset/clock.h>
#include <handset/registry.h>
#include <handset/wstring.h>

#include <gtest/gtest.h>

#include "contacts_device.h"

namespace {

using handset::contacts::ContactChanges;
using namespace settings;

class CallerTest : public handset::testing::ContactsDeviceTest {
protected:
    void SetUp() override
    {
        ContactsDeviceTest::SetUp();
        resetProfiles();
        writeCurrentProfile(3);  // "Loud" is in force, to tell it from the others
        writeClassRingTone(KnownCaller, u"\\Windows\\Known.wav");
        writeClassRingTone(UnknownCaller, u"\\Windows\\Unknown.wav");
        writeClassRingTone(NoCallerId, u"\\Windows\\Hidden.wav");
    }

    static ContactChanges contact(const char16_t* mobile)
    {
        ContactChanges fields;
        fields.lastName = u"Caller";
        fields.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, mobile}};
        return fields;
    }

    // Every decision these tests make is made a second time with its
    // explanation, which must not change it.
    RingDecision ring(const WCHAR* callerId)
    {
        const RingDecision decided = resolveCallRing(app_, callerId);
        Explanation why;
        EXPECT_EQ(decided, resolveCallRing(app_, callerId, &why));
        return decided;
    }

    std::string explained(const WCHAR* callerId)
    {
        Explanation why;
        const RingDecision decision = resolveCallRing(app_, callerId, &why);
        return describe("call", callerId ? callerId : u"", decision.tone, false, why);
    }

    static ProfileRecord loud() { return defaultProfile(3); }
    static ProfileRecord vip() { return defaultVipProfile(); }
};

TEST_F(CallerTest, CallersWithoutAContactFallToTheirClass)
{
    addContact(contact(u"1234"));
    addContact(contact(u"020 7946 0018"));

    // No caller ID, judged on the raw text.
    for (const WCHAR* none : {static_cast<const WCHAR*>(nullptr), u""}) {
        const RingDecision decision = ring(none);
        EXPECT_EQ(u"\\Windows\\Hidden.wav", decision.tone);
        EXPECT_EQ(loud(), decision.profile);
        EXPECT_FALSE(decision.mute);
    }
    // A withheld-number text has no digits: unknown, not "no caller ID".
    // Four digits never match, even a contact with exactly those; and the
    // international form of a nationally stored number differs in digits.
    for (const WCHAR* unknown : {u"Private", u"1234", u"+44 20 7946 0018", u"5550199"}) {
        SCOPED_TRACE(handset::toUtf8(unknown));
        const RingDecision decision = ring(unknown);
        EXPECT_EQ(u"\\Windows\\Unknown.wav", decision.tone);
        EXPECT_EQ(loud(), decision.profile);
        EXPECT_FALSE(decision.mute);
    }
}

TEST_F(CallerTest, NumbersMatchWhateverTheirPunctuation)
{
    ContactChanges fields = contact(u"(020) 7946-0018");
    fields.ringTone = u"\\My Documents\\Anna.mp3";
    const CEOID oid = addContact(fields);

    IItem* item = findCallerContact(app_, u"02079460018");
    ASSERT_NE(nullptr, item);
    IContact* asContact = nullptr;
    ASSERT_EQ(S_OK, item->QueryInterface(IID_IContact, reinterpret_cast<void**>(&asContact)));
    LONG found = 0;
    asContact->get_Oid(&found);
    EXPECT_EQ(static_cast<LONG>(oid), found);
    asContact->Release();
    item->Release();

    EXPECT_EQ(u"\\My Documents\\Anna.mp3", ring(u"020 7946 0018").tone);
    // The platform proposes a seven-digit match; the exact test refuses it.
    EXPECT_EQ(nullptr, findCallerContact(app_, u"7946001"));
    EXPECT_EQ(nullptr, findCallerContact(app_, u"0"));
}

TEST_F(CallerTest, TonesComeFromContactThenFirstCategoryThenKnownCallers)
{
    writeCategoryRingTone(u"Family", u"\\Windows\\Family.wav");
    writeCategorySmsTone(u"Friends", u"\\Windows\\FriendsSms.wav");  // a key without "Ring Tone"
    writeCategoryRingTone(u"Work", u"\\Windows\\Work.wav");

    ContactChanges own = contact(u"0151 1111111");
    own.ringTone = u"\\My Documents\\Own.wav";
    own.categories = u"Family,Work";
    addContact(own);
    ContactChanges family = contact(u"0151 2222222");
    family.categories = u"Family,Work";
    addContact(family);
    ContactChanges friends = contact(u"0151 3333333");
    friends.categories = u"Friends,Work";
    addContact(friends);
    addContact(contact(u"0151 4444444"));

    EXPECT_EQ(u"\\My Documents\\Own.wav", ring(u"01511111111").tone);
    EXPECT_EQ(u"\\Windows\\Family.wav", ring(u"01512222222").tone);
    EXPECT_EQ(u"\\Windows\\Known.wav", ring(u"01513333333").tone);
    EXPECT_EQ(u"\\Windows\\Known.wav", ring(u"01514444444").tone);
}

TEST_F(CallerTest, PriorityChoosesTheRecord)
{
    writeCategoryRingTone(u"Family", u"\\Windows\\Family.wav");
    writeCategoryPriority(u"Family", PriorityVip);
    writeCategoryRingTone(u"Work", u"");
    writeCategoryPriority(u"Work", PriorityMute);

    // Contact priority 0: the first category's priority, never the second's.
    ContactChanges inherits = contact(u"0151 1111111");
    inherits.categories = u"Family,Work";
    inherits.priority = PriorityNormal;
    addContact(inherits);
    RingDecision decision = ring(u"01511111111");
    EXPECT_EQ(vip(), decision.profile);
    EXPECT_FALSE(decision.mute);

    // Mute: an all-zero record and the flag, the tone still resolved.
    ContactChanges muted = contact(u"0151 2222222");
    muted.ringTone = u"\\My Documents\\Muted.wav";
    muted.priority = PriorityMute;
    addContact(muted);
    decision = ring(u"01512222222");
    EXPECT_EQ(ProfileRecord{}, decision.profile);
    EXPECT_TRUE(decision.mute);
    EXPECT_EQ(u"\\My Documents\\Muted.wav", decision.tone);

    // A value no dialog offers stands for the profile in force, and the
    // category is not asked.
    ContactChanges odd = contact(u"0151 3333333");
    odd.categories = u"Work";
    odd.priority = 3;
    addContact(odd);
    decision = ring(u"01513333333");
    EXPECT_EQ(loud(), decision.profile);
    EXPECT_FALSE(decision.mute);

    // A contact VIP by itself, with the VIP key damaged part-way: what was
    // not read stays zero rather than leftovers.
    ContactChanges own = contact(u"0151 4444444");
    own.priority = PriorityVip;
    addContact(own);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyEx(HKEY_CURRENT_USER, u"Software\\Quorrel\\Tonquil\\Profiles\\VIP", 0, 0, &key));
    RegDeleteValue(key, u"vibrateCall");
    RegCloseKey(key);
    decision = ring(u"01514444444");
    ProfileRecord partial{};
    partial.callVolume = vip().callVolume;
    partial.smsVolume = vip().smsVolume;
    EXPECT_EQ(partial, decision.profile);
}

TEST_F(CallerTest, LongTonePathsReadBackWhole)
{
    // Paths the contact dialog can store, up to the system's 255 characters.
    for (std::size_t length : {130u, 255u}) {
        SCOPED_TRACE(length);
        std::u16string path = u"\\My Documents\\";
        path += std::u16string(length - path.size() - 4, u'x') + u".wav";
        ContactChanges fields = contact(length == 130 ? u"0151 1111111" : u"0151 2222222");
        fields.ringTone = path;
        addContact(fields);
        EXPECT_EQ(path, ring(length == 130 ? u"01511111111" : u"01512222222").tone);
    }
}

TEST_F(CallerTest, HostileCallerIdsAreJustText)
{
    addContact(contact(u"0151 1111111"));
    for (const WCHAR* hostile : {u"'; DROP TABLE contacts; --", u"%s%n\\..\\..", u"\U0001F4DE"}) {
        SCOPED_TRACE(handset::toUtf8(hostile));
        EXPECT_EQ(u"\\Windows\\Unknown.wav", ring(hostile).tone);
    }
    // The volume still answers afterwards.
    EXPECT_EQ(u"\\Windows\\Known.wav", ring(u"01511111111").tone);
}

TEST_F(CallerTest, ExplanationNamesEachSourceOfTheDecision)
{
    writeCategoryRingTone(u"Family", u"\\Windows\\Family.wav");
    writeCategoryPriority(u"Family", PriorityVip);
    writeCategoryRingTone(u"Quiet", u"");
    writeCategoryPriority(u"Quiet", PriorityMute);

    ContactChanges own = contact(u"0151 1111111");
    own.firstName = u"Anna";
    own.ringTone = u"\\My Documents\\Anna.mp3";
    own.priority = PriorityVip;
    own.categories = u"Family";
    addContact(own);
    ContactChanges inherits = contact(u"0151 2222222");
    inherits.categories = u"Family,Quiet";
    addContact(inherits);
    ContactChanges quiet = contact(u"0151 3333333");
    quiet.lastName.reset();
    quiet.company = u"Acme";
    quiet.categories = u"Quiet";
    addContact(quiet);

    EXPECT_EQ("call from \"01511111111\": contact \"Anna Caller\"; tone \\My Documents\\Anna.mp3 from the contact; "
              "priority VIP from the contact; profile VIP from VIP priority",
              explained(u"01511111111"));
    EXPECT_EQ("call from \"0151 2222222\": contact \"Caller\"; tone \\Windows\\Family.wav from category \"Family\"; "
              "priority VIP from category \"Family\"; profile VIP from VIP priority",
              explained(u"0151 2222222"));
    EXPECT_EQ("call from \"01513333333\": contact \"Acme\"; tone \\Windows\\Known.wav from class KnownCaller; "
              "priority Mute from category \"Quiet\"; profile none from Mute priority",
              explained(u"01513333333"));
    EXPECT_EQ("call from \"Private\": no contact has this number; tone \\Windows\\Unknown.wav from class "
              "UnknownCaller; priority Normal from default; profile Loud from the selected profile",
              explained(u"Private"));

    // Under the schedule, the entry that decided; before the day's first
    // entry that is the evening's last one.
    const ScheduleEntry day[] = {{420, 0}, {1320, 2}};
    writeSchedule(day, 2);
    writeCurrentProfile(PROFILE_SCHEDULE);
    writeClassRingTone(NoCallerId, u"");
    for (const auto& [hour, reason] : {std::pair{23, "(22:00 Silent)"}, {3, "(22:00 Silent)"}, {7, "(07:00 Normal)"}}) {
        ASSERT_TRUE(handset::setClockTimeOfDay(hour, 0));
        const std::string name = std::string(reason).substr(7, std::string(reason).size() - 8);
        EXPECT_EQ("call from \"\": no caller ID; tone no tone from class NoCallerId; priority Normal from default; "
                  "profile " + name + " from the schedule " + reason,
                  explained(nullptr));
    }
    writeSchedule(day, 0);
    EXPECT_NE(std::string::npos, explained(nullptr).find("profile Normal from the schedule (no entries)"));
}

}  // namespace
