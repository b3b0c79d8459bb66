// The timed profile: a profile that holds until a time of the device clock,
// and the device time arithmetic it and the call log share.
#include <settings/quiet_hours.h>

#include <chrono>
#include <cstdio>

#include <handset/registry.h>
#include <handset/wstring.h>

#include "store.h"
#include "timed_profile.h"

namespace settings {

using namespace detail;

namespace {

constexpr const WCHAR* kProfileValue = u"profile";
constexpr const WCHAR* kUntilValue = u"until";

// Seconds from 1601-01-01, where FILETIME counts from, to 1970-01-01.
constexpr std::int64_t kSecondsBefore1970 = 11'644'473'600;
constexpr std::uint64_t kTicksPerSecond = 10'000'000;

const std::u16string& timedProfileKey()
{
    static const std::u16string path = subKeyPath(kProductKey, u"TimedProfile");
    return path;
}

bool validProfile(std::int32_t profile)
{
    return profile >= 0 && profile < kProfileCount;
}

// "YYYY-MM-DD HH:MM:SS": readable with the registry tools as it stands.
std::u16string untilText(const SYSTEMTIME& until)
{
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", unsigned{until.wYear}, unsigned{until.wMonth},
                  unsigned{until.wDay}, unsigned{until.wHour}, unsigned{until.wMinute}, unsigned{until.wSecond});
    return handset::fromUtf8(text);
}

// The time "until" names; nothing for any other text, so a damaged value
// never holds a profile.
std::optional<SYSTEMTIME> parseUntil(const std::u16string& text)
{
    const std::string utf8 = handset::toUtf8(text);
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int used = 0;
    if (std::sscanf(utf8.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%n", &year, &month, &day, &hour, &minute, &second,
                    &used) != 6 ||
        static_cast<std::size_t>(used) != utf8.size() || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(year)), std::chrono::month(month),
                                           std::chrono::day(day)};
    if (!date.ok())
        return std::nullopt;
    return systemTimeOf(fileTimeTicks(SYSTEMTIME{static_cast<WORD>(year), static_cast<WORD>(month), 0,
                                                 static_cast<WORD>(day), static_cast<WORD>(hour),
                                                 static_cast<WORD>(minute), static_cast<WORD>(second), 0}));
}

}  // namespace

std::uint64_t fileTimeTicks(const SYSTEMTIME& time)
{
    using namespace std::chrono;
    const sys_days date{year_month_day{year(time.wYear), month(time.wMonth), day(time.wDay)}};
    const std::int64_t seconds = std::int64_t{date.time_since_epoch().count()} * 86'400 + time.wHour * 3'600 +
                                 time.wMinute * 60 + time.wSecond + kSecondsBefore1970;
    if (seconds < 0)
        return 0;
    return static_cast<std::uint64_t>(seconds) * kTicksPerSecond + std::uint64_t{time.wMilliseconds} * 10'000;
}

std::uint64_t fileTimeTicks(const FILETIME& time)
{
    return std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

SYSTEMTIME systemTimeOf(std::uint64_t ticks)
{
    using namespace std::chrono;
    const std::int64_t seconds = static_cast<std::int64_t>(ticks / kTicksPerSecond) - kSecondsBefore1970;
    const sys_days date = floor<days>(sys_seconds{std::chrono::seconds{seconds}});
    const std::int64_t ofDay = seconds - std::int64_t{date.time_since_epoch().count()} * 86'400;
    const year_month_day ymd{date};
    return SYSTEMTIME{static_cast<WORD>(static_cast<int>(ymd.year())),
                      static_cast<WORD>(static_cast<unsigned>(ymd.month())),
                      static_cast<WORD>(weekday{date}.c_encoding()),
                      static_cast<WORD>(static_cast<unsigned>(ymd.day())),
                      static_cast<WORD>(ofDay / 3'600),
                      static_cast<WORD>(ofDay / 60 % 60),
                      static_cast<WORD>(ofDay % 60),
                      static_cast<WORD>(ticks % kTicksPerSecond / 10'000)};
}

bool startTimedProfile(std::int32_t profile, std::uint32_t minutes, const SYSTEMTIME& now)
{
    if (!validProfile(profile) || minutes == 0)
        return false;
    const std::uint64_t nowTicks = fileTimeTicks(now) / kTicksPerSecond * kTicksPerSecond;
    const SYSTEMTIME until = systemTimeOf(nowTicks + std::uint64_t{minutes} * kTicksPerMinute);
    // Both values in one transaction: no reader sees a profile with the
    // previous one's end.
    return wholeWrite([&] {
        const Key key = createKey(HKEY_CURRENT_USER, timedProfileKey());
        return key && writeDword(key, kProfileValue, static_cast<DWORD>(profile)) &&
               writeString(key, kUntilValue, untilText(until));
    });
}

std::optional<TimedProfile> timedProfileAt(const SYSTEMTIME& now)
{
    const Key key = openKey(HKEY_CURRENT_USER, timedProfileKey());
    if (!key)
        return std::nullopt;
    const std::optional<DWORD> profile = readDword(key, kProfileValue);
    const std::optional<std::u16string> text = readString(key, kUntilValue);
    if (!profile || !text || !validProfile(static_cast<std::int32_t>(*profile)))
        return std::nullopt;
    const std::optional<SYSTEMTIME> until = parseUntil(*text);
    // Once the device clock reaches the end the profile is as if it had
    // never been; the key stays until the next choice replaces it.
    if (!until || fileTimeTicks(now) >= fileTimeTicks(*until))
        return std::nullopt;
    return TimedProfile{static_cast<std::int32_t>(*profile), *until};
}

void endTimedProfile()
{
    (void)deleteTimedProfileKey();
}

bool detail::deleteTimedProfileKey()
{
    const LONG deleted = RegDeleteKey(HKEY_CURRENT_USER, timedProfileKey().c_str());
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

std::u16string timedProfileText(std::int32_t profile, std::uint32_t untilMinutes)
{
    char time[16];
    std::snprintf(time, sizeof time, "%02u:%02u", untilMinutes / 60 % 24, untilMinutes % 60);
    const bool known = validProfile(profile);
    return std::u16string(known ? kProfileNames[static_cast<std::size_t>(profile)] : u"Normal") + u" until " +
           handset::fromUtf8(time);
}

}  // namespace settings
