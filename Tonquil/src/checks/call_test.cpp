#include "call_test.h"

#include <settings/caller.h>
#include <settings/explain.h>
#include <settings/quiet_hours.h>
#include <settings/sms.h>

namespace tonquil {

namespace {

std::vector<std::string> reasonLines(const settings::TonePath& tone, const settings::Explanation& why)
{
    return {settings::describeCaller(why), settings::describeTone(tone, settings::toneFileMissing(tone), why),
            settings::describePriority(why), settings::describeProfile(why)};
}

}  // namespace

CallTest testCall(IPOutlookApp* contacts, const std::u16string& number, const settings::CallLog& log)
{
    CallTest result;

    settings::Explanation callWhy;
    // The call log is read as a call would read it, so a repeated call
    // shows as one.
    const settings::RingDecision ring =
        settings::resolveCallRing(contacts, number.c_str(), &callWhy, &log);
    result.call = reasonLines(ring.tone, callWhy);

    // The SMS service starts each message from a cleared record; a test
    // does the same, so nothing of another test shows.
    settings::Explanation smsWhy;
    const settings::SmsChoice choice = settings::chooseSmsAlert(contacts, settings::lookupKey(number), &smsWhy);
    settings::ProfileRecord profile;
    settings::readSmsProfile(choice.priority, profile, &smsWhy.profile);
    result.sms = reasonLines(choice.tone, smsWhy);
    return result;
}

std::u16string firstPhoneNumber(IItem* contact)
{
    for (CEPROPID property : kContactPhoneProperties) {
        std::u16string number = settings::readContactString(contact, property);
        if (!number.empty())
            return number;
    }
    return {};
}

}  // namespace tonquil
