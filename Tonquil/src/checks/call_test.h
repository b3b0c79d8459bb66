// What the phone would do for a call and for a text message from a number,
// with the reasons, computed by the same decisions the ring and SMS services
// make. Nothing is written and nothing rings.
#pragma once

#include <string>
#include <vector>

#include <handset/pimstore.h>

#include <settings/quiet_hours.h>

namespace tonquil {

struct CallTest {
    // The parts of the device log's "why" line, one per line: the caller,
    // the tone and where it came from, the priority, the profile.
    std::vector<std::string> call;
    std::vector<std::string> sms;
};

// The call from caller ID `number` (empty: no caller ID) and the message
// from sender address `number`, with the timed profile as it stands and the
// call log `log` read as a call reads the phone's.
CallTest testCall(IPOutlookApp* contacts, const std::u16string& number,
                  const settings::CallLog& log = settings::phoneCallLog());

// The contact's first phone number in the order the contacts database
// matches them; empty when it has none.
std::u16string firstPhoneNumber(IItem* contact);

}  // namespace tonquil
