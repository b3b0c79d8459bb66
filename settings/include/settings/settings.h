// The settings store shared by Tonquil's deliverables: sound profiles, the
// profile selector and its daily schedule, the installation directory, and
// the tone assignments of caller classes and categories.
//
// Every operation opens the keys it needs under HKEY_CURRENT_USER
// "Software\Quorrel\Tonquil", reads or writes, and closes them again; nothing
// is cached, so a change made by one process is seen by the others at their
// next read. Readers fall back silently; writers create missing keys.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include <handset/types.h>

namespace settings {

// Tone paths and the installation directory are read with the capacity of
// the buffers the system works with: 255 characters and the terminator. A
// longer stored value reads as not set, and so does a value that is not a
// REG_SZ; a text stored without its terminator is taken up to its end.
constexpr std::size_t kPathCapacity = 256;
using TonePath = std::u16string;

// The sound profiles, by index, with their names as every list of profiles
// shows them.
constexpr std::int32_t kProfileCount = 5;
inline constexpr std::array<const char16_t*, kProfileCount> kProfileNames = {u"Normal", u"Discreet", u"Silent",
                                                                            u"Loud", u"Custom"};
// The selector's value for "follow the daily schedule".
constexpr std::int32_t PROFILE_SCHEDULE = -1;
// The index the profile settings dialog is given for the VIP profile. It is
// -1 like PROFILE_SCHEDULE, but the two never meet: one only ever reaches
// the dialog, the other only the stored selector.
constexpr std::int32_t kVipProfileIndex = -1;
constexpr std::uint32_t kMaxScheduleEntries = 25;

// Index, then the eight values stored in the profile's key, in this order.
struct ProfileRecord {
    std::int32_t index = 0;
    std::int32_t callVolume = 0;
    std::int32_t smsVolume = 0;
    std::int32_t vibrateCall = 0;
    std::int32_t vibrateSms = 0;
    std::int32_t announceIncomingCall = 0;
    std::int32_t increasingRing = 0;
    std::int32_t vibrateBeforeRing = 0;
    std::int32_t displaySms = 0;

    friend bool operator==(const ProfileRecord&, const ProfileRecord&) = default;
};

// One switching time of the daily schedule, as stored: two little-endian
// unsigned 32-bit values.
struct ScheduleEntry {
    std::uint32_t minutes = 0;  // hour * 60 + minute
    std::uint32_t profile = 0;  // 0 to 4

    friend bool operator==(const ScheduleEntry&, const ScheduleEntry&) = default;
};
static_assert(sizeof(ScheduleEntry) == 8);

// Why a profile applies (settings/explain.h); the readers of the profile in
// force fill one when given.
struct ProfileChoice;

enum CallerClass : int { KnownCaller = 0, UnknownCaller = 1, NoCallerId = 2 };
enum TonePriority : std::uint16_t { PriorityNormal = 0, PriorityVip = 1, PriorityMute = 2 };

// --- Profiles, selector, schedule, installation directory -----------------
//
// A number reads only from a REG_DWORD of 4 bytes, the schedule only from a
// REG_BINARY; a value of another type or size counts as missing.

// The selector "currentProfile": 0 to 4, or PROFILE_SCHEDULE. 0 when it
// cannot be read.
std::int32_t readCurrentProfile();
// Sets the selector, creating the "Profiles" key when it is missing. Being
// an explicit choice, it ends a running timed profile.
void writeCurrentProfile(std::int32_t index);

// Reads profile `index`. When its key is missing the record is untouched;
// otherwise field 1 gets the index and the eight values are read in order up
// to the first one missing, whose field and those after it keep what the
// caller had put there. True only when all eight were read.
[[nodiscard]] bool readProfile(std::int32_t index, ProfileRecord& record);
// Writes the eight values into the key of profile `record.index`, creating
// it; stops at the first value that cannot be set. True when all were set.
[[nodiscard]] bool writeProfile(const ProfileRecord& record);
// As readProfile and writeProfile for the VIP profile; field 1 is neither
// read nor written.
[[nodiscard]] bool readVipProfile(ProfileRecord& record);
[[nodiscard]] bool writeVipProfile(const ProfileRecord& record);

// Reads the schedule into `entries`. `count` holds the capacity in entries on
// entry and the number read on success; a schedule larger than the capacity
// fails and leaves both untouched. A trailing part of less than one entry is
// ignored.
[[nodiscard]] bool readSchedule(ScheduleEntry* entries, std::uint32_t& count);
// Stores `count` entries as the schedule, creating the "Profiles" key.
void writeSchedule(const ScheduleEntry* entries, std::uint32_t count);

// The profile index in force at `now`: a running timed profile's
// (settings/quiet_hours.h), else what the selector and the schedule give
// (only the hour and minute count): the selector unless it is
// PROFILE_SCHEDULE; then the profile of the last entry at or before now, the
// last entry's before the first; 0 when the schedule cannot be read or is empty. Calls, text
// messages, the Today item and every explanation of them take the profile in
// force from here, so that they agree.
std::int32_t profileInForce(const SYSTEMTIME& now, ProfileChoice* why = nullptr);
// Reads the record of the profile in force at the device's local time. The
// record is cleared first, so a failed read leaves zeros in what it did not
// read, never the caller's old values.
[[nodiscard]] bool readProfileInForce(ProfileRecord& record, ProfileChoice* why = nullptr);

// Deletes the "Profiles" key with everything in it, writes the default
// records, then selects profile 0, all in one transaction. False when it
// could not: the profiles are then as they were.
bool resetProfiles();
// "InstallDir" of the product key; "\Program Files\Tonquil" when it is
// missing, empty or unreadable.
std::u16string readInstallDir();
// Whether the platform knows the ".mid" media type.
bool isMidiRegistered();

// The default records that resetProfiles and the installer hook write. An
// index outside 0 to 4 gives the "Normal" record.
const ProfileRecord& defaultProfile(std::int32_t index);
const ProfileRecord& defaultVipProfile();

// --- Caller classes and categories ----------------------------------------
//
// Readers clear the path and leave it empty unless the key and the value
// both read; writers create the key. A value that is no CallerClass, and an
// empty category name, read and write nothing.

void readClassRingTone(CallerClass callerClass, TonePath& path);
void readClassSmsTone(CallerClass callerClass, TonePath& path);
void writeClassRingTone(CallerClass callerClass, const TonePath& path);
void writeClassSmsTone(CallerClass callerClass, const TonePath& path);

void readCategoryRingTone(const std::u16string& category, TonePath& path);
void readCategorySmsTone(const std::u16string& category, TonePath& path);
void writeCategoryRingTone(const std::u16string& category, const TonePath& path);
void writeCategorySmsTone(const std::u16string& category, const TonePath& path);
// The category's "Priority", cut to 16 bits; 0 when the key or value is missing.
std::uint16_t readCategoryPriority(const std::u16string& category);
// Sets "Priority" only when the category's key already exists (its tones
// create it); nothing is stored otherwise.
void writeCategoryPriority(const std::u16string& category, std::uint16_t priority);
// Makes sure the category has its key. A key the registry takes for the
// category's (its names ignore case, so "family" is the key of "Family")
// keeps its spelling and its values; only a key made here gets the empty
// "Ring Tone" and "Sms Tone" and "Priority" 0. Whether the key exists now.
bool ensureCategoryKey(const std::u16string& category);

// Whether a tone counts as MIDI: its path ends in ".mid" or ".midi", in any
// case. The tone selector and the SMS tone service decide by this one rule.
bool isMidiPath(std::u16string_view path);

}  // namespace settings
