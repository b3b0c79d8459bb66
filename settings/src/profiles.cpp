// Sound profiles, the profile selector, the daily schedule, the installation
// directory and the MIDI file type test.
#include <settings/settings.h>

#include <algorithm>
#include <functional>
#include <limits>

#include <handset/clock.h>
#include <handset/registry_batch.h>

#include <settings/explain.h>
#include <settings/quiet_hours.h>

#include "store.h"
#include "timed_profile.h"

namespace settings {

using namespace detail;

namespace {

// Returns the profile, noting why it was chosen when the caller asked.
std::int32_t chosen(ProfileChoice* why, ProfileReason reason, std::int32_t profile,
                    std::optional<ScheduleEntry> entry = std::nullopt)
{
    if (why)
        *why = ProfileChoice{reason, profile, entry};
    return profile;
}

// A running timed profile holds over the selector and the schedule, for
// calls and text messages alike.
std::optional<std::int32_t> timedProfileInForce(const SYSTEMTIME& now, ProfileChoice* why)
{
    const std::optional<TimedProfile> timed = timedProfileAt(now);
    if (!timed)
        return std::nullopt;
    if (why) {
        *why = ProfileChoice{ProfileReason::Timed, timed->profile, std::nullopt};
        why->untilMinutes = std::uint32_t{timed->until.wHour} * 60 + timed->until.wMinute;
    }
    return timed->profile;
}

const std::u16string& profilesKey()
{
    static const std::u16string path = subKeyPath(kProductKey, u"Profiles");
    return path;
}

// Reads on one snapshot of the registry, so that a reader never mixes two
// writers' records and never waits for a writer.
bool wholeRecord(const std::function<bool()>& work)
{
    bool done = false;
    const LONG rc = handset::RegReadSnapshot([&] {
        done = work();
        return ERROR_SUCCESS;
    });
    return rc == ERROR_SUCCESS && done;
}

// "%s\%ld": the numbered profile's key, index in decimal without leading zeros.
std::u16string numberedProfileKey(std::int32_t index)
{
    const std::string digits = std::to_string(index);
    return subKeyPath(profilesKey(), std::u16string(digits.begin(), digits.end()));
}

std::u16string vipProfileKey()
{
    return subKeyPath(profilesKey(), u"VIP");
}

constexpr const WCHAR* kCurrentProfileValue = u"currentProfile";
constexpr const WCHAR* kScheduleValue = u"schedule";
constexpr const WCHAR* kInstallDirValue = u"InstallDir";
constexpr const WCHAR* kDefaultInstallDir = u"\\Program Files\\Tonquil";
constexpr const WCHAR* kMidiTypeKey = u"Media Type\\Extensions\\.mid";

// The largest size in bytes, in whole entries, that a registry value can have.
constexpr std::uint64_t kLargestSchedule =
    std::numeric_limits<DWORD>::max() / sizeof(ScheduleEntry) * sizeof(ScheduleEntry);

// The eight values of a profile key, in the order they are read and written.
struct ProfileValue {
    const WCHAR* name;
    std::int32_t ProfileRecord::*field;
};
constexpr ProfileValue kProfileValues[] = {
    {u"callVolume", &ProfileRecord::callVolume},
    {u"smsVolume", &ProfileRecord::smsVolume},
    {u"vibrateCall", &ProfileRecord::vibrateCall},
    {u"vibrateSms", &ProfileRecord::vibrateSms},
    {u"announceIncomingCall", &ProfileRecord::announceIncomingCall},
    {u"increasingRing", &ProfileRecord::increasingRing},
    {u"vibrateBeforeRing", &ProfileRecord::vibrateBeforeRing},
    {u"displaySms", &ProfileRecord::displaySms},
};

// The defaults that a reset and the installer write, in record order (index,
// callVolume, smsVolume, vibrateCall, vibrateSms, announceIncomingCall,
// increasingRing, vibrateBeforeRing, displaySms). The VIP record's index is
// never stored.
constexpr ProfileRecord kDefaultProfiles[kProfileCount] = {
    {0, 3, 1, 0, 0, 1, 0, 0, 1},  // Normal
    {1, 1, 1, 0, 0, 0, 0, 0, 0},  // Discreet
    {2, 0, 0, 0, 0, 0, 0, 0, 0},  // Silent
    {3, 5, 1, 1, 1, 1, 0, 0, 1},  // Loud
    {4, 4, 1, 0, 0, 1, 0, 2, 1},  // Custom
};
constexpr ProfileRecord kDefaultVipProfile = {0, 5, 1, 1, 1, 1, 0, 0, 1};

// Reads the eight values into `record` in table order. A missing value ends
// the read; the fields after it keep what the caller had put there.
bool readProfileValues(const Key& key, ProfileRecord& record)
{
    for (const ProfileValue& value : kProfileValues) {
        const std::optional<DWORD> data = readDword(key, value.name);
        if (!data)
            return false;
        record.*value.field = static_cast<std::int32_t>(*data);
    }
    return true;
}

// Writes the eight values in table order, stopping at the first that cannot
// be set.
bool writeProfileValues(const Key& key, const ProfileRecord& record)
{
    for (const ProfileValue& value : kProfileValues) {
        if (!writeDword(key, value.name, static_cast<DWORD>(record.*value.field)))
            return false;
    }
    return true;
}

// The schedule as the services read it: at most kMaxScheduleEntries
// entries; nothing when it cannot be read.
std::optional<std::vector<ScheduleEntry>> readFullSchedule()
{
    std::vector<ScheduleEntry> entries(kMaxScheduleEntries);
    std::uint32_t count = kMaxScheduleEntries;
    if (!readSchedule(entries.data(), count))
        return std::nullopt;
    entries.resize(count);
    return entries;
}

std::uint32_t minutesSinceMidnight(const SYSTEMTIME& now)
{
    return std::uint32_t{now.wHour} * 60 + now.wMinute;
}

std::uint32_t readLittleEndian32(const BYTE* bytes)
{
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

void appendLittleEndian32(std::vector<BYTE>& bytes, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<BYTE>(value >> shift));
}

}  // namespace

std::int32_t readCurrentProfile()
{
    const Key key = openKey(HKEY_CURRENT_USER, profilesKey());
    const std::optional<DWORD> selector = readDword(key, kCurrentProfileValue);
    return selector ? static_cast<std::int32_t>(*selector) : 0;
}

namespace {

// The key and the value in one go, so a reset between them cannot drop it.
// An explicit choice also ends the timed profile, in the same transaction.
bool storeCurrentProfile(std::int32_t index)
{
    return wholeWrite([&] {
        const Key key = createKey(HKEY_CURRENT_USER, profilesKey());
        return writeDword(key, kCurrentProfileValue, static_cast<DWORD>(index)) && deleteTimedProfileKey();
    });
}

}  // namespace

void writeCurrentProfile(std::int32_t index)
{
    (void)storeCurrentProfile(index);
}

bool readProfile(std::int32_t index, ProfileRecord& record)
{
    return wholeRecord([&] {
        const Key key = openKey(HKEY_CURRENT_USER, numberedProfileKey(index));
        if (!key)
            return false;
        record.index = index;
        return readProfileValues(key, record);
    });
}

bool writeProfile(const ProfileRecord& record)
{
    return wholeWrite([&] {
        const Key key = createKey(HKEY_CURRENT_USER, numberedProfileKey(record.index));
        return key && writeProfileValues(key, record);
    });
}

bool readVipProfile(ProfileRecord& record)
{
    // The VIP profile has no index: field 1 stays as the caller left it.
    return wholeRecord([&] {
        const Key key = openKey(HKEY_CURRENT_USER, vipProfileKey());
        return key && readProfileValues(key, record);
    });
}

bool writeVipProfile(const ProfileRecord& record)
{
    return wholeWrite([&] {
        const Key key = createKey(HKEY_CURRENT_USER, vipProfileKey());
        return key && writeProfileValues(key, record);
    });
}

bool readSchedule(ScheduleEntry* entries, std::uint32_t& count)
{
    // A schedule with more entries than the caller has room for does not
    // read at all.
    const std::uint64_t wantedBytes = std::uint64_t{count} * sizeof(ScheduleEntry);
    const DWORD capacityInBytes = static_cast<DWORD>(std::min<std::uint64_t>(wantedBytes, kLargestSchedule));
    const Key key = openKey(HKEY_CURRENT_USER, profilesKey());
    const std::optional<std::vector<BYTE>> bytes = readBinary(key, kScheduleValue, capacityInBytes);
    if (!bytes)
        return false;
    // A trailing part shorter than one entry is ignored.
    const std::uint32_t read = static_cast<std::uint32_t>(bytes->size() / sizeof(ScheduleEntry));
    for (std::uint32_t i = 0; i < read; ++i) {
        const BYTE* entry = bytes->data() + i * sizeof(ScheduleEntry);
        entries[i].minutes = readLittleEndian32(entry);
        entries[i].profile = readLittleEndian32(entry + 4);
    }
    count = read;
    return true;
}

void writeSchedule(const ScheduleEntry* entries, std::uint32_t count)
{
    std::vector<BYTE> bytes;
    bytes.reserve(std::size_t{count} * sizeof(ScheduleEntry));
    for (std::uint32_t i = 0; i < count; ++i) {
        appendLittleEndian32(bytes, entries[i].minutes);
        appendLittleEndian32(bytes, entries[i].profile);
    }
    const Key key = createKey(HKEY_CURRENT_USER, profilesKey());
    writeBinary(key, kScheduleValue, bytes);
}

std::int32_t profileInForce(const SYSTEMTIME& now, ProfileChoice* why)
{
    if (const std::optional<std::int32_t> timed = timedProfileInForce(now, why))
        return *timed;
    const std::int32_t selector = readCurrentProfile();
    if (selector != PROFILE_SCHEDULE)
        return chosen(why, ProfileReason::Selected, selector);

    const std::optional<std::vector<ScheduleEntry>> schedule = readFullSchedule();
    if (!schedule || schedule->empty())
        return chosen(why, ProfileReason::Schedule, 0);

    // Before the day's first entry the last entry's profile still holds from
    // the evening before. The walk stops at the first entry later than now,
    // sorted or not.
    const std::uint32_t minutes = minutesSinceMidnight(now);
    const ScheduleEntry* deciding = &schedule->back();
    for (const ScheduleEntry& entry : *schedule) {
        if (entry.minutes > minutes)
            break;
        deciding = &entry;
    }
    return chosen(why, ProfileReason::Schedule, static_cast<std::int32_t>(deciding->profile), *deciding);
}

bool readProfileInForce(ProfileRecord& record, ProfileChoice* why)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    // A read that fails part-way leaves silence rather than whatever the
    // caller's record held before. The selector, the schedule and the
    // record are read on one snapshot, so that they agree.
    record = ProfileRecord{};
    return wholeRecord([&] { return readProfile(profileInForce(now, why), record); });
}

bool resetProfiles()
{
    // Deleting the whole key also drops the schedule and the selector, and
    // any profile key that is no longer in the table.
    // One transaction, undone whole when any step fails: no other process
    // sees the key half rewritten, and a failed reset leaves it as it was.
    return wholeWrite([] {
        const LONG deleted = RegDeleteKey(HKEY_CURRENT_USER, profilesKey().c_str());
        if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
            return false;
        for (const ProfileRecord& record : kDefaultProfiles)
            if (!writeProfile(record))
                return false;
        return writeVipProfile(kDefaultVipProfile) && storeCurrentProfile(0);
    });
}

std::u16string readInstallDir()
{
    const Key key = openKey(HKEY_CURRENT_USER, std::u16string(kProductKey));
    const std::optional<std::u16string> dir = readString(key, kInstallDirValue);
    // An empty directory would turn "InstallDir" + "\Tonquil.exe" into a
    // program at the root: use the default for it too.
    if (!dir || dir->empty())
        return kDefaultInstallDir;
    return *dir;
}

bool isMidiRegistered()
{
    return static_cast<bool>(openKey(HKEY_CLASSES_ROOT, kMidiTypeKey));
}

const ProfileRecord& defaultProfile(std::int32_t index)
{
    if (index < 0 || index >= kProfileCount)
        return kDefaultProfiles[0];
    return kDefaultProfiles[index];
}

const ProfileRecord& defaultVipProfile()
{
    return kDefaultVipProfile;
}

}  // namespace settings
