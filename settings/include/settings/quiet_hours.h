// Quiet hours that let the right calls through: a profile that holds for a
// while and then ends by itself ("Silent until 14:30"), and repeated calls
// that ring through a silent profile. Both are off until the user turns them
// on; with neither in use every decision is as the selector and the schedule
// make it.
//
// Stored under HKEY_CURRENT_USER "Software\Quorrel\Tonquil":
//   TimedProfile   "profile" (REG_DWORD 0 to 4), "until" (REG_SZ
//                  "YYYY-MM-DD HH:MM:SS", the device clock's local time)
//   RepeatedCalls  "enabled" (REG_DWORD 0 or 1), "windowMinutes" (REG_DWORD),
//                  "ringProfile" (REG_DWORD 0 to 4), "contactsOnly" (REG_DWORD 0 or 1)
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <handset/types.h>

#include <settings/settings.h>

namespace settings {

// --- Device time ----------------------------------------------------------

// A device clock reading as a FILETIME count: 100-nanosecond ticks since
// 1601-01-01, the count the phone's call log keeps its start times in.
std::uint64_t fileTimeTicks(const SYSTEMTIME& time);
std::uint64_t fileTimeTicks(const FILETIME& time);
// The calendar time of a tick count (the day of the week included).
SYSTEMTIME systemTimeOf(std::uint64_t ticks);
constexpr std::uint64_t kTicksPerMinute = 600'000'000ULL;

// --- The timed profile ----------------------------------------------------

// The lengths the "Timed profile" dialog offers, in minutes.
inline constexpr std::array<std::uint32_t, 6> kTimedProfileLengths = {15, 30, 60, 120, 240, 480};

struct TimedProfile {
    std::int32_t profile = 0;  // 0 to 4
    SYSTEMTIME until{};        // device local time; the profile holds while the clock is before it
};

// Starts profile `profile` for `minutes` from `now`, replacing any timed
// profile there was. False (nothing written) for a profile outside 0 to 4,
// no minutes, or a failed write.
[[nodiscard]] bool startTimedProfile(std::int32_t profile, std::uint32_t minutes, const SYSTEMTIME& now);
// The timed profile that holds at `now`; none when there is none, it has
// ended, or what is stored cannot be read (a damaged entry is as none).
std::optional<TimedProfile> timedProfileAt(const SYSTEMTIME& now);
// Removes the timed profile. An explicit choice of a profile or of the
// schedule (writeCurrentProfile) does this too.
void endTimedProfile();

// "Silent until 14:30".
std::u16string timedProfileText(std::int32_t profile, std::uint32_t untilMinutes);

// --- Repeated calls -------------------------------------------------------

// The windows the "Repeated calls" dialog offers, in minutes.
inline constexpr std::array<std::uint32_t, 4> kRepeatWindows = {3, 5, 10, 15};

struct RepeatedCallSettings {
    bool enabled = false;
    std::uint32_t windowMinutes = 3;
    std::int32_t ringProfile = 0;  // the profile a repeated call rings with
    bool contactsOnly = false;

    friend bool operator==(const RepeatedCallSettings&, const RepeatedCallSettings&) = default;
};

// What is stored; the defaults (off, 3 minutes, Normal, everyone) for what
// is missing or unreadable, and for a window or profile no dialog offers.
RepeatedCallSettings readRepeatedCallSettings();
[[nodiscard]] bool writeRepeatedCallSettings(const RepeatedCallSettings& settings);

// One earlier incoming call of the phone's call log.
struct RecentCall {
    std::u16string number;     // as the log keeps it; empty without caller ID
    std::uint64_t start = 0;   // fileTimeTicks of the device clock when it was offered
    bool answered = false;
};

// The phone's call log as the repeated-call rule reads it: incoming calls,
// newest first.
class CallLog {
public:
    virtual ~CallLog() = default;
    // Hands each incoming call to `visit`, newest first, until `visit`
    // returns false or the log ends. False when the log cannot be read
    // (what was visited before the failure is then not to be trusted).
    virtual bool visitNewestFirst(const std::function<bool(const RecentCall&)>& visit) const = 0;
};

// The call log the phone keeps, read through the phone's call log functions.
const CallLog& phoneCallLog();

// How many earlier incoming calls from `digits` (the caller's digits, more
// than four of them) that were not answered started within `windowMinutes`
// before `now`, an edge included. Reads the log newest first and stops at
// the window's edge. Nothing when the log cannot be read.
std::optional<std::uint32_t> countUnansweredCalls(const CallLog& log, std::u16string_view digits,
                                                  std::uint32_t windowMinutes, std::uint64_t now);

// The repeated-call rule for a call from `digits` (the caller's digits; a
// contact's number when `contact`) that would ring with the profile in
// force, whose record is `record`. When the rule is on, `record` is silent
// (its callVolume is 0), the caller qualifies ("Contacts only") and the log
// holds an earlier unanswered call from the number within the window at the
// device's local time, `record` becomes the "Ring with" profile's and `why`
// (may be null) says so; true then. Otherwise nothing changes, and the log
// is not read unless everything else holds.
bool ringRepeatedCall(const CallLog& log, std::u16string_view digits, bool contact, ProfileRecord& record,
                      ProfileChoice* why);

// "2nd", "3rd", "11th", "21st".
std::string ordinal(std::uint32_t n);

}  // namespace settings
