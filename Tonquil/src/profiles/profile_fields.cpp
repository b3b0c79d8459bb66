#include "profile_fields.h"

#include <algorithm>

#include "profiles_ids.h"

namespace tonquil {

using settings::ProfileRecord;

std::u16string profileName(std::int32_t index)
{
    if (index < 0 || index >= settings::kProfileCount)
        return {};
    return kProfileNames[static_cast<std::size_t>(index)];
}

const std::array<ProfileFieldRow, kProfileFieldCount> kProfileFieldRows = {{
    {ids::IDC_CALL_VOLUME, u"Phone call volume:", FieldKind::Level, &ProfileRecord::callVolume, true},
    {ids::IDC_VIBRATE_CALL, u"Vibrate on phone call:", FieldKind::Flag, &ProfileRecord::vibrateCall, true},
    {ids::IDC_ANNOUNCE_CALL, u"Announce incoming call:", FieldKind::Flag, &ProfileRecord::announceIncomingCall,
     false},
    {ids::IDC_INCREASING_RING, u"Increasing ring:", FieldKind::Flag, &ProfileRecord::increasingRing, true},
    {ids::IDC_VIBRATE_BEFORE_RING, u"Vibrate before ring:", FieldKind::Level, &ProfileRecord::vibrateBeforeRing,
     true},
    {ids::IDC_SMS_SOUND, u"Play sound on SMS:", FieldKind::Flag, &ProfileRecord::smsVolume, true},
    {ids::IDC_DISPLAY_SMS, u"Display message:", FieldKind::Flag, &ProfileRecord::displaySms, true},
    {ids::IDC_VIBRATE_SMS, u"Vibrate on SMS:", FieldKind::Flag, &ProfileRecord::vibrateSms, true},
}};

namespace {

const std::array<const char16_t*, 6> kVolumeItems = {u"Off", u"1", u"2", u"3", u"4", u"5"};
const std::array<const char16_t*, 6> kRepeatItems = {u"No",      u"1 time",  u"2 times",
                                                     u"3 times", u"4 times", u"5 times"};
constexpr int kHighestLevel = 5;

}  // namespace

const std::array<const char16_t*, 2> kFlagItems = {u"No", u"Yes"};

const std::array<const char16_t*, 6>& levelItems(unsigned controlId)
{
    return controlId == ids::IDC_CALL_VOLUME ? kVolumeItems : kRepeatItems;
}

int selectionForValue(const ProfileFieldRow& row, std::int32_t value)
{
    if (row.kind == FieldKind::Flag)
        return value != 0 ? 1 : 0;
    return std::clamp(value, 0, kHighestLevel);
}

void storeSelection(const ProfileFieldRow& row, int selection, ProfileRecord& record)
{
    if (selection < 0)
        return;
    if (row.kind == FieldKind::Flag)
        record.*row.field = selection != 0 ? 1 : 0;
    else
        record.*row.field = std::min(selection, kHighestLevel);
}

std::array<int, kProfileFieldCount> selectionsForRecord(const ProfileRecord& record)
{
    std::array<int, kProfileFieldCount> selections{};
    for (std::size_t i = 0; i < kProfileFieldCount; ++i)
        selections[i] = selectionForValue(kProfileFieldRows[i], record.*kProfileFieldRows[i].field);
    return selections;
}

void storeSelections(const std::array<int, kProfileFieldCount>& selections, ProfileRecord& record)
{
    for (std::size_t i = 0; i < kProfileFieldCount; ++i)
        storeSelection(kProfileFieldRows[i], selections[i], record);
}

std::u16string profileDialogTitle(std::int32_t index)
{
    if (index == kVipProfileIndex)
        return u"VIP settings";
    return u"Profile: " + profileName(index);
}

bool readProfileForDialog(std::int32_t index, ProfileRecord& record)
{
    record = ProfileRecord{};
    if (index == kVipProfileIndex)
        return settings::readVipProfile(record);
    return settings::readProfile(index, record);
}

bool writeProfileFromDialog(std::int32_t index, const ProfileRecord& record)
{
    if (index == kVipProfileIndex)
        return settings::writeVipProfile(record);
    ProfileRecord numbered = record;
    numbered.index = index;  // the record names the key it is written to
    return settings::writeProfile(numbered);
}

bool ensureProfilesReadable()
{
    for (std::int32_t index = 0; index < settings::kProfileCount; ++index) {
        ProfileRecord record;
        if (!settings::readProfile(index, record)) {
            settings::resetProfiles();
            return true;
        }
    }
    return false;
}

}  // namespace tonquil
