// Turning a caller into a tone, a profile record and a mute flag, and the
// contact properties that decision reads.
//
// The contacts application object is the caller's: the call ring service
// logs on when its window is made and passes the object to every call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <handset/pimstore.h>

#include <settings/explain.h>
#include <settings/settings.h>

namespace settings {

struct RingDecision {
    TonePath tone;          // possibly empty: no tone
    ProfileRecord profile;  // all zero when muted
    bool mute = false;

    friend bool operator==(const RingDecision&, const RingDecision&) = default;
};

// The contact whose phone number is exactly `digits` (digits only, more than
// four of them), or null. The caller releases the item.
IItem* findCallerContact(IPOutlookApp* contacts, std::u16string_view digits);

class CallLog;

// The decision for a call from `callerId` (null or empty: no caller ID).
// With `why`, also the reasons for it, noted as each step decides. With
// `log`, the phone's call log, a repeated call may ring through a silent
// profile (settings/quiet_hours.h); without one it never does.
RingDecision resolveCallRing(IPOutlookApp* contacts, const WCHAR* callerId, Explanation* why = nullptr,
                             const CallLog* log = nullptr);

// --- Contact properties ---------------------------------------------------

// A string property of the contact, read whole up to kPathCapacity - 1
// characters; empty when the contact lacks it or it cannot be read.
std::u16string readContactString(IItem* contact, CEPROPID property);
// Several string properties in one read of the contact, each as
// readContactString reads it alone; all empty when the read fails.
std::vector<std::u16string> readContactStrings(IItem* contact, const CEPROPID* properties, WORD count);
// Reads the properties in one read into `buffer` (as the caller sized it),
// growing it to the size the contact reports when the values do not fit, so
// that no stored value is ever too long to read. The values (in `buffer`),
// or null when the read fails.
CEPROPVAL* readContactProps(IItem* contact, const CEPROPID* properties, WORD count, std::vector<BYTE>& buffer);

// The id of the named property `name` of type `type` (CEVT_...), made on
// first use; PIMPR_INVALID_ID when it cannot be resolved.
CEPROPID namedContactProperty(IPOutlookApp* contacts, const WCHAR* name, WORD type);

// The contact's "Priority"; 0 when absent or unreadable.
std::uint16_t readContactPriority(IPOutlookApp* contacts, IItem* contact);

// The category that counts: the text before the first comma.
std::u16string firstCategory(std::u16string_view categories);

// Keeps the characters '0' to '9' of `text`, in order.
std::u16string digitsOf(std::u16string_view text);

}  // namespace settings
