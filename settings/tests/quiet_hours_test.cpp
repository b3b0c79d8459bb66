// Quiet hours: the timed profile over the selector and the schedule, and
// repeated calls that ring through a silent profile, read from a fake call
// log on a real registry and contacts volume.
#include <settings/quiet_hours.h>

#include <handset/clock.h>
#include <handset/wstring.h>

#include <gtest/gtest.h>

#include <settings/caller.h>
#include <settings/explain.h>
#include <settings/sms.h>

#include "contacts_device.h"
#include "raw_registry.h"

namespace {

using handset::contacts::ContactChanges;
using namespace settings;
using settings_test::queryRaw;
using settings_test::RawValue;

const std::u16string kTimedKey = u"Software\\Quorrel\\Tonquil\\TimedProfile";

SYSTEMTIME on(WORD day, WORD hour, WORD minute, WORD second = 0)
{
    return SYSTEMTIME{2024, 3, 0, day, hour, minute, second, 0};
}

std::string reason(std::int32_t profile, const ProfileChoice& choice)
{
    Explanation why;
    why.profile = choice;
    why.profile.profile = profile;
    return describeProfile(why);
}

class TimedProfileTest : public handset::testing::DeviceTest {
protected:
    void SetUp() override
    {
        DeviceTest::SetUp();
        ASSERT_TRUE(resetProfiles());
        const ScheduleEntry day[] = {{420, 0}, {1320, 1}};  // Normal from 07:00, Discreet from 22:00
        writeSchedule(day, 2);
        writeCurrentProfile(PROFILE_SCHEDULE);
    }
};

TEST_F(TimedProfileTest, HoldsForCallsAndMessagesUntilItsEndThenTheScheduleReturns)
{
    ASSERT_TRUE(startTimedProfile(2, 60, on(5, 14, 0, 30)));

    // Stored readably under the product key.
    const RawValue until = queryRaw(kTimedKey, u"until");
    EXPECT_EQ(REG_SZ, until.type);
    EXPECT_EQ(u"2024-03-05 15:00:30", std::u16string(reinterpret_cast<const char16_t*>(until.data.data())));

    for (const SYSTEMTIME& during : {on(5, 14, 0, 30), on(5, 15, 0, 29)}) {
        // Messages take the same profile in force as calls.
        ProfileChoice call;
        EXPECT_EQ(2, profileInForce(during, &call));
        EXPECT_EQ("profile Silent from the timed profile (Silent until 15:00)", reason(2, call));
    }
    // At its end, as if it had never been: the schedule's entry decides.
    ProfileChoice after;
    EXPECT_EQ(0, profileInForce(on(5, 15, 0, 30), &after));
    EXPECT_EQ(ProfileReason::Schedule, after.reason);
    EXPECT_EQ(0, profileInForce(on(6, 14, 30)));
}

TEST_F(TimedProfileTest, RunsAcrossMidnightByTheDate)
{
    ASSERT_TRUE(startTimedProfile(2, 60, on(31, 23, 30)));  // ends in the next month
    EXPECT_EQ(2, profileInForce(on(31, 23, 45)));
    EXPECT_EQ(2, profileInForce(SYSTEMTIME{2024, 4, 0, 1, 0, 15, 0, 0}));
    EXPECT_EQ(1, profileInForce(SYSTEMTIME{2024, 4, 0, 1, 0, 30, 0, 0}));  // the evening's Discreet
    EXPECT_EQ(u"Silent until 00:30", timedProfileText(2, 30));
}

TEST_F(TimedProfileTest, FollowsTheDeviceClock)
{
    ASSERT_TRUE(handset::setClockTimeOfDay(10, 0));
    SYSTEMTIME now{};
    GetLocalTime(&now);
    ASSERT_TRUE(startTimedProfile(3, 15, now));
    ProfileRecord record;
    ASSERT_TRUE(readProfileInForce(record));
    EXPECT_EQ(defaultProfile(3), record);
    ASSERT_TRUE(handset::setClockTimeOfDay(10, 16));
    ASSERT_TRUE(readProfileInForce(record));
    EXPECT_EQ(defaultProfile(0), record);
}

TEST_F(TimedProfileTest, AnExplicitChoiceEndsIt)
{
    for (std::int32_t choice : {3, PROFILE_SCHEDULE}) {
        ASSERT_TRUE(startTimedProfile(2, 60, on(5, 14, 0)));
        writeCurrentProfile(choice);
        EXPECT_FALSE(timedProfileAt(on(5, 14, 10)));
        EXPECT_EQ(ERROR_FILE_NOT_FOUND, queryRaw(kTimedKey, u"profile").rc);
    }
}

TEST_F(TimedProfileTest, OnlyAWholeValidEntryHolds)
{
    EXPECT_FALSE(startTimedProfile(5, 60, on(5, 14, 0)));
    EXPECT_FALSE(startTimedProfile(2, 0, on(5, 14, 0)));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, queryRaw(kTimedKey, u"profile").rc);

    ASSERT_TRUE(startTimedProfile(2, 60, on(5, 14, 0)));
    for (const char16_t* damaged : {u"2024-03-05 15:00", u"2024-02-30 15:00:00", u"2024-03-05 25:00:00",
                                    u"2024-03-05 15:00:00 "}) {
        SCOPED_TRACE(handset::toUtf8(damaged));
        settings_test::setString(kTimedKey, u"until", damaged);
        EXPECT_EQ(0, profileInForce(on(5, 14, 10)));
    }
    settings_test::setString(kTimedKey, u"until", u"2024-03-05 15:00:00");
    settings_test::setDword(kTimedKey, u"profile", 5);
    EXPECT_EQ(0, profileInForce(on(5, 14, 10)));
}

// A call log held in memory, newest first, that counts what was read.
class FakeCallLog : public CallLog {
public:
    std::vector<RecentCall> calls;
    bool readable = true;
    mutable std::size_t visited = 0;

    bool visitNewestFirst(const std::function<bool(const RecentCall&)>& visit) const override
    {
        if (!readable)
            return false;
        for (const RecentCall& call : calls) {
            ++visited;
            if (!visit(call))
                break;
        }
        return true;
    }
};

class RepeatedCallTest : public handset::testing::ContactsDeviceTest {
protected:
    void SetUp() override
    {
        ContactsDeviceTest::SetUp();
        ASSERT_TRUE(resetProfiles());
        writeCurrentProfile(2);  // Silent
        ASSERT_TRUE(handset::setClockTimeOfDay(12, 0));
        SYSTEMTIME now{};
        GetLocalTime(&now);
        now_ = fileTimeTicks(now);
        ASSERT_TRUE(writeRepeatedCallSettings({true, 3, 0, false}));
    }

    // A call from `number` that began `seconds` ago.
    void logged(const char16_t* number, std::int64_t seconds, bool answered = false)
    {
        log_.calls.push_back({number, now_ - static_cast<std::uint64_t>(seconds) * 10'000'000, answered});
    }

    // Decided without and with the explanation, which must agree; the line
    // of the explanation's profile.
    std::string ring(const char16_t* callerId, RingDecision& decision)
    {
        decision = resolveCallRing(app_, callerId, nullptr, &log_);
        Explanation why;
        EXPECT_EQ(decision, resolveCallRing(app_, callerId, &why, &log_));
        return describeProfile(why);
    }

    void addCaller(const char16_t* mobile, std::uint16_t priority)
    {
        ContactChanges fields;
        fields.lastName = u"Caller";
        fields.phones = {{PIMPR_MOBILE_TELEPHONE_NUMBER, mobile}};
        fields.priority = priority;
        addContact(fields);
    }

    FakeCallLog log_;
    std::uint64_t now_ = 0;
};

TEST_F(RepeatedCallTest, AnUnansweredCallWithinTheWindowLetsTheNextOneRing)
{
    // The window's edge belongs to it.
    logged(u"491511111111", 180);
    EXPECT_EQ(1u, countUnansweredCalls(log_, u"491511111111", 3, now_));
    EXPECT_EQ(0u, countUnansweredCalls(log_, u"491511111111", 3, now_ + 1));

    RingDecision decision;
    log_.calls = {};
    logged(u"+49 151 1111111", 179);  // the device clock runs on meanwhile
    EXPECT_EQ("profile Normal from a repeated call (2nd within 3 minutes)", ring(u"491511111111", decision));
    EXPECT_EQ(defaultProfile(0), decision.profile);

    logged(u"0171 2222222", 60);  // someone else's call counts for nobody
    log_.calls.insert(log_.calls.begin(), {u"491511111111", now_ - 30 * 10'000'000ULL, false});
    EXPECT_EQ("profile Normal from a repeated call (3rd within 3 minutes)", ring(u"491511111111", decision));

    // One second beyond the edge, answered, or a short number: silence.
    log_.calls = {};
    logged(u"491511111111", 181);
    EXPECT_EQ("profile Silent from the selected profile", ring(u"491511111111", decision));
    EXPECT_EQ(defaultProfile(2), decision.profile);
    log_.calls = {};
    logged(u"491511111111", 30, true);
    EXPECT_EQ("profile Silent from the selected profile", ring(u"491511111111", decision));
    log_.calls = {};
    logged(u"1234", 30);
    EXPECT_EQ("profile Silent from the selected profile", ring(u"1234", decision));
}

TEST_F(RepeatedCallTest, TheLogIsReadNewestFirstOnlyUpToTheWindowsEdge)
{
    RingDecision decision;
    logged(u"491511111111", -600);  // after now: the clock was set back
    logged(u"491511111111", 100);
    for (int i = 0; i < 1000; ++i)
        logged(u"491511111111", 200 + i);
    EXPECT_EQ("profile Normal from a repeated call (2nd within 3 minutes)", ring(u"491511111111", decision));
    EXPECT_EQ(6u, log_.visited);  // twice three: the future call, the one within, the first beyond
}

TEST_F(RepeatedCallTest, PrioritiesContactsOnlyAndTheProfileInForceStillDecide)
{
    RingDecision decision;
    addCaller(u"0151 1111111", PriorityMute);
    addCaller(u"0151 2222222", PriorityVip);
    logged(u"01511111111", 60);
    logged(u"01512222222", 60);
    logged(u"01713333333", 60);

    EXPECT_EQ("profile none from Mute priority", ring(u"01511111111", decision));
    EXPECT_TRUE(decision.mute);
    EXPECT_EQ("profile VIP from VIP priority", ring(u"01512222222", decision));
    EXPECT_EQ(defaultVipProfile(), decision.profile);
    EXPECT_EQ(0u, log_.visited);

    ASSERT_TRUE(writeRepeatedCallSettings({true, 3, 3, true}));  // contacts only, ring with Loud
    EXPECT_EQ("profile Silent from the selected profile", ring(u"01713333333", decision));
    addCaller(u"0171 3333333", PriorityNormal);
    EXPECT_EQ("profile Loud from a repeated call (2nd within 3 minutes)", ring(u"01713333333", decision));
    EXPECT_EQ(defaultProfile(3), decision.profile);

    // A profile that rings anyway is left alone, and the log is not read.
    log_.visited = 0;
    writeCurrentProfile(1);
    EXPECT_EQ("profile Discreet from the selected profile", ring(u"01713333333", decision));
    EXPECT_EQ(0u, log_.visited);
}

TEST_F(RepeatedCallTest, OffUnreadableOrForMessagesNothingChanges)
{
    RingDecision decision;
    logged(u"491511111111", 60);
    log_.readable = false;
    EXPECT_EQ("profile Silent from the selected profile", ring(u"491511111111", decision));
    log_.readable = true;

    // Text messages never read the log: the profile in force stays.
    ProfileRecord sms{};
    ProfileChoice smsWhy;
    readSmsProfile(PriorityNormal, sms, &smsWhy);
    EXPECT_EQ(defaultProfile(2), sms);

    // Off, also as a window no dialog offers falls back to the default.
    ASSERT_TRUE(writeRepeatedCallSettings({false, 3, 0, false}));
    EXPECT_EQ("profile Silent from the selected profile", ring(u"491511111111", decision));
    settings_test::setDword(u"Software\\Quorrel\\Tonquil\\RepeatedCalls", u"windowMinutes", 7);
    settings_test::setDword(u"Software\\Quorrel\\Tonquil\\RepeatedCalls", u"ringProfile", 9);
    EXPECT_EQ((RepeatedCallSettings{false, 3, 0, false}), readRepeatedCallSettings());
}

TEST(QuietHoursText, OrdinalsAndDeviceTimes)
{
    EXPECT_EQ("2nd", ordinal(2));
    EXPECT_EQ("3rd", ordinal(3));
    EXPECT_EQ("4th", ordinal(4));
    EXPECT_EQ("11th", ordinal(11));
    EXPECT_EQ("12th", ordinal(12));
    EXPECT_EQ("21st", ordinal(21));
    const SYSTEMTIME leap{2024, 2, 4, 29, 23, 59, 59, 0};
    const SYSTEMTIME next = systemTimeOf(fileTimeTicks(leap) + 10'000'000);
    EXPECT_EQ((std::array<WORD, 6>{2024, 3, 5, 1, 0, 0}),
              (std::array<WORD, 6>{next.wYear, next.wMonth, next.wDayOfWeek, next.wDay, next.wHour, next.wMinute}));
}

}  // namespace
