// The profile settings dialog's mapping between its eight drop-down lists and
// a ProfileRecord, and the other profile texts the Profiles page shows. Kept
// apart from the widgets so that the page, the dialog and the schedule
// editor share one list of names and one mapping.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include <settings/settings.h>

namespace tonquil {

using settings::kProfileNames;
using settings::kVipProfileIndex;

// The name of profile `index` (0 to 4); empty for any other index.
std::u16string profileName(std::int32_t index);

// How a list's selection stands for its field: a level shows the value as
// its item index (0 to 5), a flag shows "Yes" for any non-zero value.
enum class FieldKind { Level, Flag };

// One row of the dialog: the control, its label, its items, and its field.
struct ProfileFieldRow {
    unsigned controlId;
    const char16_t* label;
    FieldKind kind;
    std::int32_t settings::ProfileRecord::*field;
    bool visible;  // the "Announce incoming call:" row is kept but never shown
};

constexpr std::size_t kProfileFieldCount = 8;

// The rows in the dialog's order, top to bottom (the hidden row included).
extern const std::array<ProfileFieldRow, kProfileFieldCount> kProfileFieldRows;

// The items of a row's list, in index order.
const std::array<const char16_t*, 6>& levelItems(unsigned controlId);  // "Off" or "No", then 1 to 5
extern const std::array<const char16_t*, 2> kFlagItems;                 // "No", "Yes"

// The item a row's list selects for a stored value. A level outside 0 to 5,
// which the dialog itself never stores, is shown at the nearer end ("Off"
// for a negative value, "5" for anything above), so that OK stores a value
// the services understand.
int selectionForValue(const ProfileFieldRow& row, std::int32_t value);

// Stores a row's selection into its field as OK does: the index for a
// level, 0 or 1 for a flag. A list without a selection (negative) leaves the
// field as it was.
void storeSelection(const ProfileFieldRow& row, int selection, settings::ProfileRecord& record);

// All eight selections for a record, in row order, and back.
std::array<int, kProfileFieldCount> selectionsForRecord(const settings::ProfileRecord& record);
void storeSelections(const std::array<int, kProfileFieldCount>& selections, settings::ProfileRecord& record);

// The navigation bar title of the dialog for profile `index`: "VIP settings"
// for the VIP profile, else "Profile: " and the profile's name.
std::u16string profileDialogTitle(std::int32_t index);

// Reads the record the dialog for `index` edits (the VIP record for -1).
// The record starts from zeros, so what a failed read leaves is never shown.
[[nodiscard]] bool readProfileForDialog(std::int32_t index, settings::ProfileRecord& record);
// Writes it back to the same place; false when a value could not be set.
[[nodiscard]] bool writeProfileFromDialog(std::int32_t index, const settings::ProfileRecord& record);

// The Profiles page's check at construction: reads profiles 0 to 4 and, at
// the first that does not read completely, restores every default (which
// also clears the schedule and selects "Normal"). True when it restored.
bool ensureProfilesReadable();

}  // namespace tonquil
