// Repeated calls that ring: a caller who tries again within a few minutes
// after a call that was not answered gets through a silent profile.
#include <settings/quiet_hours.h>

#include <algorithm>

#include <handset/clock.h>

#include <settings/caller.h>
#include <settings/explain.h>

#include "store.h"

namespace settings {

using namespace detail;

namespace {

constexpr const WCHAR* kEnabledValue = u"enabled";
constexpr const WCHAR* kWindowValue = u"windowMinutes";
constexpr const WCHAR* kRingProfileValue = u"ringProfile";
constexpr const WCHAR* kContactsOnlyValue = u"contactsOnly";

const std::u16string& repeatedCallsKey()
{
    static const std::u16string path = subKeyPath(kProductKey, u"RepeatedCalls");
    return path;
}

// Numbers are the same caller when their digits agree exactly, more than
// four of them, as a caller ID and a contact's number are compared.
bool sameCaller(std::u16string_view digits, const std::u16string& logged)
{
    return digits.size() > 4 && digitsOf(logged) == digits;
}

}  // namespace

RepeatedCallSettings readRepeatedCallSettings()
{
    RepeatedCallSettings settings;
    const Key key = openKey(HKEY_CURRENT_USER, repeatedCallsKey());
    if (!key)
        return settings;
    if (const std::optional<DWORD> enabled = readDword(key, kEnabledValue))
        settings.enabled = *enabled != 0;
    if (const std::optional<DWORD> window = readDword(key, kWindowValue);
        window && std::ranges::find(kRepeatWindows, *window) != kRepeatWindows.end())
        settings.windowMinutes = *window;
    if (const std::optional<DWORD> profile = readDword(key, kRingProfileValue);
        profile && *profile < static_cast<DWORD>(kProfileCount))
        settings.ringProfile = static_cast<std::int32_t>(*profile);
    if (const std::optional<DWORD> contactsOnly = readDword(key, kContactsOnlyValue))
        settings.contactsOnly = *contactsOnly != 0;
    return settings;
}

bool writeRepeatedCallSettings(const RepeatedCallSettings& settings)
{
    return wholeWrite([&] {
        const Key key = createKey(HKEY_CURRENT_USER, repeatedCallsKey());
        return key && writeDword(key, kEnabledValue, settings.enabled ? 1 : 0) &&
               writeDword(key, kWindowValue, settings.windowMinutes) &&
               writeDword(key, kRingProfileValue, static_cast<DWORD>(settings.ringProfile)) &&
               writeDword(key, kContactsOnlyValue, settings.contactsOnly ? 1 : 0);
    });
}

std::optional<std::uint32_t> countUnansweredCalls(const CallLog& log, std::u16string_view digits,
                                                  std::uint32_t windowMinutes, std::uint64_t now)
{
    const std::uint64_t windowTicks = std::uint64_t{windowMinutes} * kTicksPerMinute;
    const std::uint64_t edge = now > windowTicks ? now - windowTicks : 0;
    std::uint32_t count = 0;
    const bool read = log.visitNewestFirst([&](const RecentCall& call) {
        // Newest first: the first call before the window's edge ends the
        // walk, however long the log is. A call after now (the clock was
        // set back) is not within the window, but older ones may be.
        if (call.start < edge)
            return false;
        if (call.start <= now && !call.answered && sameCaller(digits, call.number))
            ++count;
        return true;
    });
    if (!read)
        return std::nullopt;
    return count;
}

bool ringRepeatedCall(const CallLog& log, std::u16string_view digits, bool contact, ProfileRecord& record,
                      ProfileChoice* why)
{
    // Only a silent ring is let through; everything cheap is asked before
    // the log is read.
    if (record.callVolume != 0 || digits.size() <= 4)
        return false;
    const RepeatedCallSettings settings = readRepeatedCallSettings();
    if (!settings.enabled || (settings.contactsOnly && !contact))
        return false;

    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::optional<std::uint32_t> earlier =
        countUnansweredCalls(log, digits, settings.windowMinutes, fileTimeTicks(now));
    if (!earlier || *earlier == 0)
        return false;

    // The "Ring with" profile from zero, as every record is read.
    record = ProfileRecord{};
    (void)readProfile(settings.ringProfile, record);
    if (why) {
        *why = ProfileChoice{ProfileReason::RepeatedCall, settings.ringProfile, std::nullopt};
        why->repeatedCall = *earlier + 1;
        why->windowMinutes = settings.windowMinutes;
    }
    return true;
}

std::string ordinal(std::uint32_t n)
{
    const std::uint32_t lastTwo = n % 100;
    const char* suffix = "th";
    if (lastTwo < 11 || lastTwo > 13) {
        switch (n % 10) {
        case 1:
            suffix = "st";
            break;
        case 2:
            suffix = "nd";
            break;
        case 3:
            suffix = "rd";
            break;
        default:
            break;
        }
    }
    return std::to_string(n) + suffix;
}

}  // namespace settings
