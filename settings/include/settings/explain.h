// Why a call or a text message was given the tone and profile it got.
//
// The deciding functions (resolveCallRing, chooseSmsAlert, the profile in
// force) fill an Explanation as they decide, at the very step that decides,
// when the caller passes one; passing none costs nothing. Nothing here
// decides anything again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <handset/pimstore.h>

#include <settings/settings.h>

namespace settings {

enum class CallerKind { Contact, NoContact, NoCallerId };
enum class ToneSource { Contact, Category, Class };
enum class PrioritySource { Contact, Category, Default };
enum class ProfileReason { Selected, Schedule, Vip, Mute, Timed, RepeatedCall };

// Which profile applies and why.
struct ProfileChoice {
    ProfileReason reason = ProfileReason::Selected;
    std::int32_t profile = 0;            // the index, for Selected and Schedule
    std::optional<ScheduleEntry> entry;  // the schedule entry that decided; none when the schedule is empty
    std::uint32_t untilMinutes = 0;      // Timed: the end's hour * 60 + minute
    std::uint32_t repeatedCall = 0;      // RepeatedCall: 2 for the second call within the window
    std::uint32_t windowMinutes = 0;     // RepeatedCall: the window

    friend bool operator==(const ProfileChoice&, const ProfileChoice&) = default;
};

struct Explanation {
    CallerKind caller = CallerKind::NoCallerId;
    std::u16string contactName;           // for CallerKind::Contact
    ToneSource toneSource = ToneSource::Class;
    CallerClass toneClass = NoCallerId;   // for ToneSource::Class
    std::u16string toneCategory;          // for ToneSource::Category
    std::uint16_t priority = PriorityNormal;
    PrioritySource prioritySource = PrioritySource::Default;
    std::u16string priorityCategory;      // for PrioritySource::Category
    ProfileChoice profile;

    friend bool operator==(const Explanation&, const Explanation&) = default;
};

// The name a contact is shown by: first and last name, else the company,
// else "(no name)".
std::u16string contactDisplayName(IItem* contact);
std::u16string contactDisplayName(const std::u16string& first, const std::u16string& last,
                                  const std::u16string& company);

// Whether a tone path names a file the device does not have. An empty path
// (no tone) is never missing.
bool toneFileMissing(std::u16string_view tone);

// The profile's name as lists show it ("Loud"), or its number when it is
// none of the five.
std::u16string profileName(std::int32_t index);

// One line in the device log's words, UTF-8:
//   call from "NUMBER": contact "Anna"; tone PATH from the contact;
//   priority VIP from category "Family"; profile VIP from VIP priority
// `event` is "call" or "sms", `from` the caller ID or the sender's address
// as it came. `toneMissing` adds " (file missing)" after the tone's path.
std::string describe(std::string_view event, std::u16string_view from, const TonePath& tone, bool toneMissing,
                     const Explanation& why);

// The parts of the same line without the event ("contact "Anna"", "tone
// ... from the contact", ...), for a dialog that shows them one by one.
std::string describeCaller(const Explanation& why);
std::string describeTone(const TonePath& tone, bool toneMissing, const Explanation& why);
std::string describePriority(const Explanation& why);
std::string describeProfile(const Explanation& why);

}  // namespace settings
