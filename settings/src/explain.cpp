// The words of an explanation: one line for the device log, or its parts for
// a dialog.
#include <settings/explain.h>

#include <cstdio>
#include <filesystem>

#include <handset/device.h>
#include <handset/wstring.h>

#include <settings/caller.h>
#include <settings/quiet_hours.h>

namespace settings {

namespace {

std::string inQuotes(std::u16string_view text)
{
    return "\"" + handset::toUtf8(text) + "\"";
}

std::string priorityName(std::uint16_t priority)
{
    switch (priority) {
    case PriorityNormal:
        return "Normal";
    case PriorityVip:
        return "VIP";
    case PriorityMute:
        return "Mute";
    default:
        return std::to_string(priority);
    }
}

std::string className(CallerClass callerClass)
{
    switch (callerClass) {
    case KnownCaller:
        return "KnownCaller";
    case UnknownCaller:
        return "UnknownCaller";
    default:
        return "NoCallerId";
    }
}

}  // namespace

std::u16string contactDisplayName(IItem* contact)
{
    static constexpr CEPROPID kNames[] = {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME};
    const std::vector<std::u16string> names = readContactStrings(contact, kNames, 3);
    return contactDisplayName(names[0], names[1], names[2]);
}

std::u16string contactDisplayName(const std::u16string& first, const std::u16string& last,
                                  const std::u16string& company)
{
    std::u16string name = first;
    if (!name.empty() && !last.empty())
        name += u' ';
    name += last;
    if (name.empty())
        name = company;
    return name.empty() ? u"(no name)" : name;
}

bool toneFileMissing(std::u16string_view tone)
{
    if (tone.empty())
        return false;
    const std::optional<std::filesystem::path> file = handset::mapDevicePath(tone);
    std::error_code error;
    return !file || !std::filesystem::is_regular_file(*file, error);
}

std::u16string profileName(std::int32_t index)
{
    if (index >= 0 && index < kProfileCount)
        return kProfileNames[static_cast<std::size_t>(index)];
    return handset::fromUtf8(std::to_string(index));
}

std::string describeCaller(const Explanation& why)
{
    switch (why.caller) {
    case CallerKind::Contact:
        return "contact " + inQuotes(why.contactName);
    case CallerKind::NoContact:
        return "no contact has this number";
    default:
        return "no caller ID";
    }
}

std::string describeTone(const TonePath& tone, bool toneMissing, const Explanation& why)
{
    std::string text = tone.empty() ? "tone no tone" : "tone " + handset::toUtf8(tone);
    if (toneMissing && !tone.empty())
        text += " (file missing)";
    switch (why.toneSource) {
    case ToneSource::Contact:
        return text + " from the contact";
    case ToneSource::Category:
        return text + " from category " + inQuotes(why.toneCategory);
    default:
        return text + " from class " + className(why.toneClass);
    }
}

std::string describePriority(const Explanation& why)
{
    std::string text = "priority " + priorityName(why.priority);
    switch (why.prioritySource) {
    case PrioritySource::Contact:
        return text + " from the contact";
    case PrioritySource::Category:
        return text + " from category " + inQuotes(why.priorityCategory);
    default:
        return text + " from default";
    }
}

std::string describeProfile(const Explanation& why)
{
    const ProfileChoice& choice = why.profile;
    switch (choice.reason) {
    case ProfileReason::Vip:
        return "profile VIP from VIP priority";
    case ProfileReason::Mute:
        // A muted caller gets no profile at all, only silence.
        return "profile none from Mute priority";
    case ProfileReason::Schedule: {
        const std::string name = handset::toUtf8(profileName(choice.profile));
        if (!choice.entry)
            return "profile " + name + " from the schedule (no entries)";
        char time[16];
        std::snprintf(time, sizeof time, "%02u:%02u", (choice.entry->minutes / 60) % 100, choice.entry->minutes % 60);
        return "profile " + name + " from the schedule (" + time + " " + name + ")";
    }
    case ProfileReason::Timed:
        return "profile " + handset::toUtf8(profileName(choice.profile)) + " from the timed profile (" +
               handset::toUtf8(timedProfileText(choice.profile, choice.untilMinutes)) + ")";
    case ProfileReason::RepeatedCall:
        return "profile " + handset::toUtf8(profileName(choice.profile)) + " from a repeated call (" +
               ordinal(choice.repeatedCall) + " within " + std::to_string(choice.windowMinutes) + " minutes)";
    default:
        return "profile " + handset::toUtf8(profileName(choice.profile)) + " from the selected profile";
    }
}

std::string describe(std::string_view event, std::u16string_view from, const TonePath& tone, bool toneMissing,
                     const Explanation& why)
{
    return std::string(event) + " from " + inQuotes(from) + ": " + describeCaller(why) + "; " +
           describeTone(tone, toneMissing, why) + "; " + describePriority(why) + "; " + describeProfile(why);
}

}  // namespace settings
