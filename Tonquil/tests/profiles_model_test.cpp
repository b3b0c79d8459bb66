// The profile dialog's mapping and the schedule editor's list, on a fresh
// device each: what the widgets show for stored values and what they store.
#include <profiles/profile_fields.h>
#include <profiles/profiles_ids.h>
#include <profiles/schedule_list.h>

#include <test_device.h>

#include "profiles_registry.h"

using namespace tonquil;
using namespace profiles_test;
using settings::ProfileRecord;
using settings::ScheduleEntry;

namespace {

constexpr std::int32_t S = 0x5A5A5A5A;  // sentinel: a field nothing touched

const ProfileFieldRow& row(unsigned controlId)
{
    for (const ProfileFieldRow& r : kProfileFieldRows) {
        if (r.controlId == controlId)
            return r;
    }
    ADD_FAILURE() << "no row " << controlId;
    return kProfileFieldRows[0];
}

class ProfileFieldsTest : public handset::testing::DeviceTest {};

TEST(ProfileFieldRows, EachFieldHasOneRowAndOnlyAnnounceIsHidden)
{
    // Distinct values per field show a row bound to the wrong field.
    const ProfileRecord record{S, 1, 2, 3, 4, 5, 6, 7, 8};
    std::vector<std::int32_t> seen;
    for (const ProfileFieldRow& r : kProfileFieldRows) {
        SCOPED_TRACE(r.controlId);
        seen.push_back(record.*r.field);
        EXPECT_EQ(r.controlId != ids::IDC_ANNOUNCE_CALL, r.visible);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ((std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8}), seen);

    EXPECT_EQ(&ProfileRecord::callVolume, row(1014).field);
    EXPECT_EQ(&ProfileRecord::vibrateCall, row(1015).field);
    EXPECT_EQ(&ProfileRecord::announceIncomingCall, row(1016).field);
    EXPECT_EQ(&ProfileRecord::increasingRing, row(1017).field);
    EXPECT_EQ(&ProfileRecord::vibrateBeforeRing, row(1018).field);
    EXPECT_EQ(&ProfileRecord::smsVolume, row(1019).field);
    EXPECT_EQ(&ProfileRecord::displaySms, row(1020).field);
    EXPECT_EQ(&ProfileRecord::vibrateSms, row(1021).field);
    EXPECT_EQ(std::u16string(u"Announce incoming call:"), row(1016).label);
    EXPECT_EQ(std::u16string(u"3 times"), levelItems(1018)[3]);
    EXPECT_EQ(std::u16string(u"Off"), levelItems(1014)[0]);
}

TEST(ProfileFieldRows, SelectionsShowStoredValues)
{
    // A flag of 2 or 7 is on; levels show as their item; out-of-range levels
    // sit at the nearer end.
    const ProfileRecord record{S, /*callVolume*/ 0, /*smsVolume*/ 7, /*vibrateCall*/ 2, /*vibrateSms*/ 0,
                               /*announce*/ -1, /*increasingRing*/ 1, /*vibrateBeforeRing*/ 3, /*displaySms*/ 0};
    EXPECT_EQ((std::array<int, 8>{0, 1, 1, 1, 3, 1, 0, 0}), selectionsForRecord(record));

    EXPECT_EQ(5, selectionForValue(row(1014), 9));
    EXPECT_EQ(0, selectionForValue(row(1014), -4));
    EXPECT_EQ(5, selectionForValue(row(1018), 6));
}

TEST(ProfileFieldRows, OkStoresIndicesAndFlagsAsZeroOrOne)
{
    ProfileRecord record{3, S, S, S, S, S, S, S, S};
    storeSelections({5, 1, 1, 0, 2, 0, 1, 1}, record);
    EXPECT_EQ((ProfileRecord{3, 5, 0, 1, 1, 1, 0, 2, 1}), record);

    storeSelections({0, 0, 0, 1, 5, 1, 0, 0}, record);
    EXPECT_EQ((ProfileRecord{3, 0, 1, 0, 0, 0, 1, 5, 0}), record);

    // A list with no selection keeps its field.
    storeSelections({-1, -1, -1, -1, -1, -1, -1, -1}, record);
    EXPECT_EQ((ProfileRecord{3, 0, 1, 0, 0, 0, 1, 5, 0}), record);
}

TEST(ProfileFieldRows, HiddenAnnounceValueComesBackAsZeroOrOne)
{
    for (std::int32_t stored : {0, 1, 2, -1}) {
        SCOPED_TRACE(stored);
        ProfileRecord record{};
        record.announceIncomingCall = stored;
        storeSelections(selectionsForRecord(record), record);
        EXPECT_EQ(stored != 0 ? 1 : 0, record.announceIncomingCall);
    }
}

TEST(ProfileFieldRows, TitlesAndNames)
{
    EXPECT_EQ(u"VIP settings", profileDialogTitle(kVipProfileIndex));
    EXPECT_EQ(u"Profile: Normal", profileDialogTitle(0));
    EXPECT_EQ(u"Profile: Loud", profileDialogTitle(3));
    EXPECT_EQ(u"Custom", profileName(4));
    EXPECT_EQ(u"", profileName(5));
    EXPECT_EQ(u"", profileName(-2));
}

TEST_F(ProfileFieldsTest, DialogReadsAndWritesTheRecordItEdits)
{
    ProfileRecord record{S, S, S, S, S, S, S, S, S};
    EXPECT_FALSE(readProfileForDialog(kVipProfileIndex, record));  // no VIP key
    EXPECT_FALSE(readProfileForDialog(2, record));

    settings::resetProfiles();
    ASSERT_TRUE(readProfileForDialog(kVipProfileIndex, record));
    EXPECT_EQ(settings::defaultVipProfile().callVolume, record.callVolume);

    // The index written is the dialog's, not what the record carries.
    ProfileRecord edited{0, 2, 0, 1, 0, 1, 1, 4, 0};
    ASSERT_TRUE(writeProfileFromDialog(3, edited));
    ProfileRecord back{};
    ASSERT_TRUE(settings::readProfile(3, back));
    EXPECT_EQ((ProfileRecord{3, 2, 0, 1, 0, 1, 1, 4, 0}), back);
    ASSERT_TRUE(settings::readProfile(0, back));
    EXPECT_EQ(settings::defaultProfile(0), back);

    ASSERT_TRUE(writeProfileFromDialog(kVipProfileIndex, edited));
    ASSERT_TRUE(settings::readVipProfile(back));
    EXPECT_EQ(2, back.callVolume);
}

TEST_F(ProfileFieldsTest, CompleteProfilesAreLeftAlone)
{
    settings::resetProfiles();
    settings::writeCurrentProfile(settings::PROFILE_SCHEDULE);
    storeSchedule({{420, 1}});
    ProfileRecord loud = settings::defaultProfile(3);
    loud.callVolume = 2;
    ASSERT_TRUE(settings::writeProfile(loud));
    deleteKey(kProfilesKey + u"\\VIP");  // the VIP record is not checked

    EXPECT_FALSE(ensureProfilesReadable());
    EXPECT_EQ(settings::PROFILE_SCHEDULE, settings::readCurrentProfile());
    EXPECT_EQ((std::vector<ScheduleEntry>{{420, 1}}), storedSchedule());
    ProfileRecord back{};
    ASSERT_TRUE(settings::readProfile(3, back));
    EXPECT_EQ(2, back.callVolume);
}

TEST_F(ProfileFieldsTest, OneIncompleteProfileRestoresEveryDefault)
{
    settings::resetProfiles();
    settings::writeCurrentProfile(3);
    storeSchedule({{420, 1}, {1320, 2}});
    ProfileRecord changed = settings::defaultProfile(1);
    changed.callVolume = 5;
    ASSERT_TRUE(settings::writeProfile(changed));
    ProfileRecord vip = settings::defaultVipProfile();
    vip.callVolume = 1;
    ASSERT_TRUE(settings::writeVipProfile(vip));
    // Profile 4 loses its last value.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyEx(HKEY_CURRENT_USER, (kProfilesKey + u"\\4").c_str(), 0, KEY_ALL_ACCESS, &key));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteValue(key, u"displaySms"));
    RegCloseKey(key);

    EXPECT_TRUE(ensureProfilesReadable());
    EXPECT_EQ(0, settings::readCurrentProfile());
    EXPECT_FALSE(queryRaw(kProfilesKey, u"schedule").found);
    for (std::int32_t index = 0; index < settings::kProfileCount; ++index) {
        SCOPED_TRACE(index);
        ProfileRecord back{};
        ASSERT_TRUE(settings::readProfile(index, back));
        EXPECT_EQ(settings::defaultProfile(index), back);
    }
    ProfileRecord back{};
    ASSERT_TRUE(settings::readVipProfile(back));
    EXPECT_EQ(settings::defaultVipProfile().callVolume, back.callVolume);

    // With no Profiles key at all the first read fails and restores as well.
    deleteKey(kProfilesKey);
    EXPECT_TRUE(ensureProfilesReadable());
    EXPECT_FALSE(ensureProfilesReadable());
}

// --- The schedule list ------------------------------------------------------

std::vector<std::u16string> texts(const ScheduleList& list)
{
    std::vector<std::u16string> result;
    for (const ScheduleItem& item : list.items())
        result.push_back(item.text);
    return result;
}

TEST(ScheduleList, ItemTextAndPackedValue)
{
    EXPECT_EQ(u"At 07:05 switch to Loud", scheduleItemText(7 * 60 + 5, 3));
    EXPECT_EQ(u"At 00:00 switch to Normal", scheduleItemText(0, 0));
    EXPECT_EQ(u"At 23:59 switch to Custom", scheduleItemText(1439, 4));
    EXPECT_EQ(0x01A40002u, packScheduleItem(420, 2));
    EXPECT_EQ((ScheduleEntry{1439, 4}), unpackScheduleItem(packScheduleItem(1439, 4)));
    EXPECT_EQ((ScheduleEntry{0, 0}), unpackScheduleItem(packScheduleItem(0, 0)));
}

TEST(ScheduleList, ItemsAreKeptInTimeOrder)
{
    ScheduleList list;
    EXPECT_EQ(ScheduleList::AddResult::Added, list.add(22 * 60, 2));
    EXPECT_EQ(ScheduleList::AddResult::Added, list.add(7 * 60, 0));
    EXPECT_EQ(ScheduleList::AddResult::Added, list.add(1439, 4));
    EXPECT_EQ(ScheduleList::AddResult::Added, list.add(0, 1));
    EXPECT_EQ((std::vector<std::u16string>{u"At 00:00 switch to Discreet", u"At 07:00 switch to Normal",
                                           u"At 22:00 switch to Silent", u"At 23:59 switch to Custom"}),
              texts(list));
    EXPECT_EQ((std::vector<ScheduleEntry>{{0, 1}, {420, 0}, {1320, 2}, {1439, 4}}), list.entries());
}

TEST(ScheduleList, SameTimeReplacesWhateverItsProfile)
{
    ScheduleList list;
    list.add(420, 0);
    list.add(1320, 2);
    EXPECT_EQ(ScheduleList::AddResult::Replaced, list.add(420, 3));
    EXPECT_EQ((std::vector<ScheduleEntry>{{420, 3}, {1320, 2}}), list.entries());
    EXPECT_EQ(ScheduleList::AddResult::Replaced, list.add(420, 3));
    EXPECT_EQ((std::vector<ScheduleEntry>{{420, 3}, {1320, 2}}), list.entries());
    EXPECT_EQ(1, list.rowOf(1320));
    EXPECT_EQ(-1, list.rowOf(421));
}

TEST(ScheduleList, RemoveTakesOnlyAnExistingRow)
{
    ScheduleList list;
    list.add(420, 0);
    list.add(1320, 2);
    EXPECT_FALSE(list.remove(-1));
    EXPECT_FALSE(list.remove(2));
    EXPECT_EQ(2u, list.size());
    EXPECT_TRUE(list.remove(0));
    EXPECT_EQ((std::vector<ScheduleEntry>{{1320, 2}}), list.entries());
}

TEST(ScheduleList, AFullListRefusesOnlyNewTimes)
{
    ScheduleList list;
    for (const ScheduleEntry& entry : quarterHourEntries(25))
        ASSERT_EQ(ScheduleList::AddResult::Added, list.add(entry.minutes, entry.profile));
    const std::vector<ScheduleEntry> full = list.entries();

    EXPECT_EQ(ScheduleList::AddResult::Full, list.add(1439, 0));
    EXPECT_EQ(full, list.entries());

    EXPECT_EQ(ScheduleList::AddResult::Replaced, list.add(30, 4));
    EXPECT_EQ(25u, list.size());
    EXPECT_EQ((ScheduleEntry{30, 4}), list.entries()[2]);

    ASSERT_TRUE(list.remove(0));
    EXPECT_EQ(ScheduleList::AddResult::Added, list.add(1439, 0));
    EXPECT_EQ(25u, list.size());
}

class ScheduleStoreTest : public handset::testing::DeviceTest {};

TEST_F(ScheduleStoreTest, LoadSortsAndSaveWritesListOrder)
{
    EXPECT_EQ(0u, ScheduleList::load().size());  // nothing stored

    storeSchedule({{1320, 2}, {420, 0}, {0, 4}});
    ScheduleList list = ScheduleList::load();
    EXPECT_EQ((std::vector<ScheduleEntry>{{0, 4}, {420, 0}, {1320, 2}}), list.entries());

    list.save();
    EXPECT_EQ((std::vector<ScheduleEntry>{{0, 4}, {420, 0}, {1320, 2}}), storedSchedule());
    EXPECT_EQ(REG_BINARY, queryRaw(kProfilesKey, u"schedule").type);
}

TEST_F(ScheduleStoreTest, EmptyListStoresAnEmptySchedule)
{
    storeSchedule({{420, 0}});
    ScheduleList().save();
    const RawValue raw = queryRaw(kProfilesKey, u"schedule");
    ASSERT_TRUE(raw.found);
    EXPECT_EQ(REG_BINARY, raw.type);
    EXPECT_EQ(0u, raw.data.size());
}

TEST_F(ScheduleStoreTest, TwentyFiveEntriesLoadTwentySixDoNot)
{
    storeSchedule(quarterHourEntries(25));
    EXPECT_EQ(quarterHourEntries(25), ScheduleList::load().entries());

    storeSchedule(quarterHourEntries(26));
    EXPECT_EQ(0u, ScheduleList::load().size());
}

TEST_F(ScheduleStoreTest, EntriesTheEditorCannotMakeAreLeftOut)
{
    // A time past 23:59, a profile beyond "Custom" and a repeated time.
    storeSchedule({{1440, 0}, {600, 5}, {420, 1}, {0xFFFFFFFF, 2}, {420, 3}, {1439, 4}});
    EXPECT_EQ((std::vector<ScheduleEntry>{{420, 3}, {1439, 4}}), ScheduleList::load().entries());
}

}  // namespace
