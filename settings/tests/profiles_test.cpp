#include <settings/settings.h>
#include <settings/explain.h>
#include <settings/sms.h>

#include <functional>

#include <handset/clock.h>
#include <handset/faults.h>
#include <handset/regfile.h>
#include <test_device.h>

#include "raw_registry.h"

using namespace settings;
using namespace settings_test;

namespace {

const std::u16string kProfilesKey = kProductKey + u"\\Profiles";
const WCHAR* const kValueNames[] = {u"callVolume",           u"smsVolume",      u"vibrateCall",
                                    u"vibrateSms",           u"announceIncomingCall",
                                    u"increasingRing",       u"vibrateBeforeRing", u"displaySms"};

constexpr std::int32_t S = 0x5A5A5A5A;  // sentinel: a field no read touched
const ProfileRecord kSentinel{S, S, S, S, S, S, S, S, S};

SYSTEMTIME at(WORD hour, WORD minute, WORD second = 0)
{
    return SYSTEMTIME{2024, 3, 5, 12, hour, minute, second, 0};
}

void storeSchedule(std::initializer_list<ScheduleEntry> entries)
{
    writeSchedule(std::data(entries), static_cast<std::uint32_t>(entries.size()));
}

class ProfilesTest : public handset::testing::DeviceTest {};

TEST_F(ProfilesTest, NothingStoredMeansNormalAndNoRecord)
{
    EXPECT_EQ(0, readCurrentProfile());
    EXPECT_EQ(0, profileInForce(at(3, 0)));

    ProfileRecord record = kSentinel;
    EXPECT_FALSE(readProfile(0, record));
    EXPECT_EQ(kSentinel, record);
    EXPECT_FALSE(readVipProfile(record));
    EXPECT_EQ(kSentinel, record);

    ScheduleEntry entries[2] = {{7, 7}, {7, 7}};
    std::uint32_t count = 2;
    EXPECT_FALSE(readSchedule(entries, count));
    EXPECT_EQ(2u, count);
    EXPECT_EQ((ScheduleEntry{7, 7}), entries[0]);

    // A failed read in force leaves zeros, not what the caller had.
    EXPECT_FALSE(readProfileInForce(record));
    EXPECT_EQ(ProfileRecord{}, record);

    EXPECT_FALSE(keyExists(kProductKey));  // readers create nothing
}

TEST_F(ProfilesTest, ProfileIsEightDwordsUnderItsNumberedKey)
{
    const ProfileRecord written{3, 1, 2, 3, 4, 5, 6, 7, 8};  // distinct, so a swapped field shows
    ASSERT_TRUE(writeProfile(written));
    EXPECT_EQ(8u, valueCount(u"Software\\Quorrel\\Tonquil\\Profiles\\3"));
    for (DWORD i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const RawValue value = queryRaw(kProfilesKey + u"\\3", kValueNames[i]);
        EXPECT_EQ(ERROR_SUCCESS, value.rc);
        EXPECT_EQ(REG_DWORD, value.type);
        EXPECT_EQ((std::vector<BYTE>{BYTE(i + 1), 0, 0, 0}), value.data);
    }
    ProfileRecord read = kSentinel;
    ASSERT_TRUE(readProfile(3, read));
    EXPECT_EQ(written, read);
}

TEST_F(ProfilesTest, ValuesReadBackAsStored)
{
    // Services treat any non-zero flag as on, so a 7 must stay a 7; -1 must
    // stay signed.
    for (DWORD i = 0; i < 8; ++i)
        setDword(kProfilesKey + u"\\1", kValueNames[i], i == 5 ? 7 : i == 0 ? 0xFFFFFFFF : 1);
    ProfileRecord read = kSentinel;
    ASSERT_TRUE(readProfile(1, read));
    EXPECT_EQ((ProfileRecord{1, -1, 1, 1, 1, 1, 7, 1, 1}), read);
}

TEST_F(ProfilesTest, ReadStopsAtTheFirstUnreadableValue)
{
    // The fifth value missing, or not a 4-byte REG_DWORD, ends the read there.
    const std::vector<BYTE> four{9, 0, 0, 0};
    const std::vector<BYTE> two{9, 0};
    struct Damage {
        const char* what;
        DWORD type;
        const std::vector<BYTE>* data;
    } damages[] = {{"missing", REG_NONE, nullptr}, {"binary", REG_BINARY, &four}, {"short", REG_DWORD, &two}};
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        ASSERT_TRUE(writeProfile({2, 1, 1, 1, 1, 1, 1, 1, 1}));
        if (damage.data)
            setRaw(kProfilesKey + u"\\2", u"vibrateSms", damage.type, damage.data->data(),
                   static_cast<DWORD>(damage.data->size()));
        else
            deleteValue(kProfilesKey + u"\\2", u"vibrateSms");

        ProfileRecord read = kSentinel;
        EXPECT_FALSE(readProfile(2, read));
        EXPECT_EQ((ProfileRecord{2, 1, 1, 1, S, S, S, S, S}), read);

        // In force, the same failure leaves zeros after the values read.
        writeCurrentProfile(2);
        read = kSentinel;
        EXPECT_FALSE(readProfileInForce(read));
        EXPECT_EQ((ProfileRecord{2, 1, 1, 1, 0, 0, 0, 0, 0}), read);
    }
}

TEST_F(ProfilesTest, VipRecordHasNoIndex)
{
    const ProfileRecord written{4, 5, 4, 3, 2, 1, 0, 1, 2};
    ASSERT_TRUE(writeVipProfile(written));
    EXPECT_EQ(8u, valueCount(kProfilesKey + u"\\VIP"));
    EXPECT_FALSE(keyExists(kProfilesKey + u"\\4"));

    ProfileRecord read = kSentinel;
    ASSERT_TRUE(readVipProfile(read));
    EXPECT_EQ((ProfileRecord{S, 5, 4, 3, 2, 1, 0, 1, 2}), read);
}

TEST_F(ProfilesTest, SelectorIsAFourByteDword)
{
    writeCurrentProfile(PROFILE_SCHEDULE);
    const RawValue value = queryRaw(kProfilesKey, u"currentProfile");
    EXPECT_EQ(REG_DWORD, value.type);
    EXPECT_EQ((std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF}), value.data);
    EXPECT_EQ(PROFILE_SCHEDULE, readCurrentProfile());

    writeCurrentProfile(4);
    EXPECT_EQ(4, readCurrentProfile());
    EXPECT_EQ(4, profileInForce(at(3, 0)));

    setString(kProfilesKey, u"currentProfile", u"3");
    EXPECT_EQ(0, readCurrentProfile());
}

TEST_F(ProfilesTest, ScheduleIsPackedLittleEndian)
{
    storeSchedule({{420, 0}, {1320, 2}});
    const RawValue value = queryRaw(kProfilesKey, u"schedule");
    EXPECT_EQ(REG_BINARY, value.type);
    EXPECT_EQ((std::vector<BYTE>{0xA4, 0x01, 0, 0, 0, 0, 0, 0, 0x28, 0x05, 0, 0, 2, 0, 0, 0}), value.data);

    ScheduleEntry read[kMaxScheduleEntries] = {};
    std::uint32_t count = kMaxScheduleEntries;
    ASSERT_TRUE(readSchedule(read, count));
    ASSERT_EQ(2u, count);
    EXPECT_EQ((ScheduleEntry{420, 0}), read[0]);
    EXPECT_EQ((ScheduleEntry{1320, 2}), read[1]);

    // A buffer of one entry cannot take two.
    count = 1;
    EXPECT_FALSE(readSchedule(read, count));
    EXPECT_EQ(1u, count);
}

TEST_F(ProfilesTest, ScheduleSizeDecidesItsEntries)
{
    std::vector<BYTE> bytes;
    for (BYTE i = 0; i < 26; ++i)
        bytes.insert(bytes.end(), {BYTE(10 + i), 0, 0, 0, BYTE(i % 5), 0, 0, 0});
    struct Case {
        DWORD bytes;
        bool readable;
        std::uint32_t count;
    } cases[] = {{200, true, 25}, {208, false, 0}, {12, true, 1}, {7, true, 0}, {0, true, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        setRaw(kProfilesKey, u"schedule", REG_BINARY, bytes.data(), c.bytes);
        ScheduleEntry read[kMaxScheduleEntries + 1];
        std::fill(std::begin(read), std::end(read), ScheduleEntry{S, S});
        std::uint32_t count = kMaxScheduleEntries;
        EXPECT_EQ(c.readable, readSchedule(read, count));
        EXPECT_EQ(c.readable ? c.count : kMaxScheduleEntries, count);
        if (c.count > 0) {
            EXPECT_EQ((ScheduleEntry{10 + c.count - 1, (c.count - 1) % 5}), read[c.count - 1]);
        }
        EXPECT_EQ((ScheduleEntry{S, S}), read[c.count]);  // nothing past what was read
    }
}

TEST_F(ProfilesTest, ScheduleDecidesWhenSelected)
{
    writeCurrentProfile(PROFILE_SCHEDULE);
    storeSchedule({{420, 0}, {1320, 2}});  // 07:00 Normal, 22:00 Silent
    struct Case {
        WORD hour, minute, second;
        std::int32_t profile;
    } cases[] = {{0, 0, 0, 2},  {3, 0, 0, 2},  {6, 59, 59, 2}, {7, 0, 0, 0},
                 {21, 59, 0, 0}, {22, 0, 0, 2}, {23, 59, 59, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hour << ":" << c.minute << ":" << c.second);
        EXPECT_EQ(c.profile, profileInForce(at(c.hour, c.minute, c.second)));
    }

    // Unsorted, the walk still stops at the first entry later than now.
    storeSchedule({{1320, 2}, {420, 0}, {600, 3}});
    EXPECT_EQ(3, profileInForce(at(8, 0)));
}

TEST_F(ProfilesTest, UnusableScheduleMeansNormal)
{
    writeCurrentProfile(PROFILE_SCHEDULE);
    EXPECT_EQ(0, profileInForce(at(12, 0)));  // no schedule value

    storeSchedule({});
    EXPECT_EQ(0, profileInForce(at(12, 0)));

    const std::vector<ScheduleEntry> tooMany(26, ScheduleEntry{0, 3});
    writeSchedule(tooMany.data(), 26);
    EXPECT_EQ(0, profileInForce(at(12, 0)));
}

TEST_F(ProfilesTest, CallsAndTextsFollowTheSameProfileOnTheDeviceClock)
{
    resetProfiles();
    writeCurrentProfile(PROFILE_SCHEDULE);
    storeSchedule({{420, 0}, {1320, 2}});  // 07:00 Normal, 22:00 Silent
    const struct {
        WORD hour;
        std::int32_t profile;
        ScheduleEntry deciding;
    } cases[] = {{3, 2, {1320, 2}}, {12, 0, {420, 0}}};  // the evening's Silent carries over past midnight
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hour);
        ASSERT_TRUE(handset::setClockTimeOfDay(c.hour, 0));
        const ProfileChoice expected{ProfileReason::Schedule, c.profile, c.deciding};
        ProfileRecord call = kSentinel;
        ProfileChoice callWhy;
        ASSERT_TRUE(readProfileInForce(call, &callWhy));
        EXPECT_EQ(defaultProfile(c.profile), call);
        EXPECT_EQ(expected, callWhy);

        ProfileRecord text = kSentinel;
        ProfileChoice textWhy;
        readSmsProfile(PriorityNormal, text, &textWhy);
        EXPECT_EQ(defaultProfile(c.profile), text);
        EXPECT_EQ(expected, textWhy);
    }
}

TEST_F(ProfilesTest, ResetReplacesTheWholeProfilesKeyAndNothingElse)
{
    writeCurrentProfile(3);
    storeSchedule({{0, 3}});
    ASSERT_TRUE(writeProfile({2, 9, 9, 9, 9, 9, 9, 9, 9}));
    setDword(kProfilesKey, u"stray", 1);
    setDword(kProfilesKey + u"\\Old\\Deeper", u"stray", 1);
    setString(kProductKey, u"InstallDir", u"\\Storage Card\\Tonquil");
    setString(kProductKey + u"\\System\\KnownCaller", u"Ring Tone", u"\\Windows\\Ring.wav");

    resetProfiles();

    EXPECT_EQ(ERROR_SUCCESS, queryRaw(kProfilesKey, u"currentProfile").rc);
    EXPECT_EQ(0, readCurrentProfile());
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, queryRaw(kProfilesKey, u"schedule").rc);
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, queryRaw(kProfilesKey, u"stray").rc);
    EXPECT_FALSE(keyExists(kProfilesKey + u"\\Old"));

    const ProfileRecord expected[] = {
        {0, 3, 1, 0, 0, 1, 0, 0, 1}, {1, 1, 1, 0, 0, 0, 0, 0, 0}, {2, 0, 0, 0, 0, 0, 0, 0, 0},
        {3, 5, 1, 1, 1, 1, 0, 0, 1}, {4, 4, 1, 0, 0, 1, 0, 2, 1},
    };
    for (std::int32_t i = 0; i < kProfileCount; ++i) {
        SCOPED_TRACE(i);
        ProfileRecord read = kSentinel;
        ASSERT_TRUE(readProfile(i, read));
        EXPECT_EQ(expected[i], read);
        EXPECT_EQ(expected[i], defaultProfile(i));
    }
    ProfileRecord vip = kSentinel;
    ASSERT_TRUE(readVipProfile(vip));
    EXPECT_EQ((ProfileRecord{S, 5, 1, 1, 1, 1, 0, 0, 1}), vip);

    EXPECT_EQ(u"\\Storage Card\\Tonquil", readInstallDir());
    EXPECT_EQ(ERROR_SUCCESS, queryRaw(kProductKey + u"\\System\\KnownCaller", u"Ring Tone").rc);
}

TEST_F(ProfilesTest, AResetOrAWriteThatFailsAnywhereChangesNothing)
{
    using handset::faults::Fault;
    using handset::faults::Store;
    writeCurrentProfile(3);
    storeSchedule({{0, 3}});
    ASSERT_TRUE(writeProfile({2, 9, 9, 9, 9, 9, 9, 9, 9}));
    const auto exported = [] {
        const auto result = handset::exportRegKey({HKEY_CURRENT_USER, kProductKey});
        EXPECT_TRUE(result.ok()) << result.message;
        return result.text;
    };

    const std::pair<const char*, std::function<bool()>> operations[] = {
        {"write a profile", [] { return writeProfile({1, 7, 7, 7, 7, 7, 7, 7, 7}); }},
        {"write the VIP profile", [] { return writeVipProfile({0, 7, 7, 7, 7, 7, 7, 7, 7}); }},
        {"reset", [] { return resetProfiles(); }},
    };
    for (const auto& [what, operation] : operations) {
        const std::string before = exported();
        // Every storage step fails in turn, until the operation is done
        // before the step that would fail.
        for (int step = 1;; ++step) {
            SCOPED_TRACE(testing::Message() << what << ", step " << step);
            handset::faults::failStep(Store::Registry, step, Fault::IoError);
            const bool done = operation();
            const bool faultHit = handset::faults::stepsTaken(Store::Registry) >= step;
            handset::faults::failStep(Store::Registry, 0, Fault::IoError);
            if (!faultHit) {
                EXPECT_TRUE(done);
                EXPECT_NE(before, exported());
                break;
            }
            EXPECT_FALSE(done);
            ASSERT_EQ(before, exported());
        }
    }
}

TEST_F(ProfilesTest, InstallDirReadsWholePathsUpToTheSystemCapacity)
{
    const std::u16string fallback = u"\\Program Files\\Tonquil";
    EXPECT_EQ(fallback, readInstallDir());
    for (std::size_t length : {130, 255, 256}) {
        SCOPED_TRACE(length);
        setString(kProductKey, u"InstallDir", pathOfLength(length));
        EXPECT_EQ(length <= 255 ? pathOfLength(length) : fallback, readInstallDir());
    }
    setString(kProductKey, u"InstallDir", u"");
    EXPECT_EQ(fallback, readInstallDir());
    setDword(kProductKey, u"InstallDir", 1);
    EXPECT_EQ(fallback, readInstallDir());
}

TEST_F(ProfilesTest, MidiIsRegisteredByItsMediaTypeKey)
{
    EXPECT_FALSE(isMidiRegistered());
    setDword(u"Media Type\\Extensions\\.mid", u"x", 1, HKEY_CLASSES_ROOT);
    EXPECT_TRUE(isMidiRegistered());
}

}  // namespace
