// The call side of caller classification: who is calling, and with which
// tone, profile and priority the phone should ring.
#include <settings/caller.h>

#include <vector>

#include <handset/com_ptr.h>

#include <settings/quiet_hours.h>

namespace settings {

using handset::ComPtr;

namespace {

constexpr const WCHAR* kPriorityName = u"Priority";

}  // namespace

std::u16string digitsOf(std::u16string_view text)
{
    std::u16string digits;
    for (char16_t c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    return digits;
}

std::u16string firstCategory(std::u16string_view categories)
{
    return std::u16string(categories.substr(0, categories.find(u',')));
}

std::u16string readContactString(IItem* contact, CEPROPID property)
{
    return readContactStrings(contact, &property, 1)[0];
}

std::vector<std::u16string> readContactStrings(IItem* contact, const CEPROPID* properties, WORD count)
{
    // Room for the records and whole paths of the system's longest: a tone
    // path the contact dialog stored must never read as absent. Longer
    // values are read with the room the contact asks for, then dropped.
    std::vector<std::u16string> strings(count);
    std::vector<BYTE> buffer(propBufferSize(count, kPathCapacity - 1));
    const CEPROPVAL* values = readContactProps(contact, properties, count, buffer);
    if (!values)
        return strings;
    for (WORD i = 0; i < count; ++i) {
        if ((values[i].wFlags & CEDB_PROPNOTFOUND) || !values[i].val.lpwstr)
            continue;
        const std::u16string_view value(values[i].val.lpwstr);
        if (value.size() < kPathCapacity)
            strings[i] = value;
    }
    return strings;
}

CEPROPVAL* readContactProps(IItem* contact, const CEPROPID* properties, WORD count, std::vector<BYTE>& buffer)
{
    if (!contact)
        return nullptr;
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto* values = reinterpret_cast<CEPROPVAL*>(buffer.data());
        ULONG size = static_cast<ULONG>(buffer.size());
        const HRESULT read = contact->GetProps(properties, 0, count, &values, &size, nullptr);
        if (SUCCEEDED(read))
            return values;
        if (read != HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) || size <= buffer.size())
            return nullptr;
        buffer.resize(size);
    }
    return nullptr;
}

CEPROPID namedContactProperty(IPOutlookApp* contacts, const WCHAR* name, WORD type)
{
    ComPtr<IPOutlookApp2> app;
    if (!contacts || FAILED(contacts->QueryInterface(IID_IPOutlookApp2, app.outVoid())))
        return PIMPR_INVALID_ID;
    CEPROPID id = PIMPR_INVALID_ID;
    if (FAILED(app->GetIDsFromNames(1, &name, PIM_CREATE | type, &id)))
        return PIMPR_INVALID_ID;
    return id;
}

std::uint16_t readContactPriority(IPOutlookApp* contacts, IItem* contact)
{
    const CEPROPID property = namedContactProperty(contacts, kPriorityName, CEVT_UI2);
    if (property == PIMPR_INVALID_ID || !contact)
        return 0;
    std::vector<BYTE> buffer(propBufferSize(1, 0));
    auto* values = reinterpret_cast<CEPROPVAL*>(buffer.data());
    ULONG size = static_cast<ULONG>(buffer.size());
    if (FAILED(contact->GetProps(&property, 0, 1, &values, &size, nullptr)) ||
        (values->wFlags & CEDB_PROPNOTFOUND))
        return 0;
    return values->val.uiVal;
}

IItem* findCallerContact(IPOutlookApp* contacts, std::u16string_view digits)
{
    // The contacts database proposes a contact for the number.
    IItem* found = nullptr;
    CEPROPID matched = 0;
    const std::u16string number(digits);
    if (!contacts || FAILED(FindMatchingContact(contacts, number.c_str(), FMCF_FINDPHONE, &found, &matched)) ||
        !found)
        return nullptr;
    ComPtr<IItem> contact(found);

    // Only a contact whose stored number has exactly the caller's
    // digits, more than four of them, is taken.
    const std::u16string stored = digitsOf(readContactString(contact.get(), matched));
    if (digits.size() <= 4 || stored.size() <= 4 || stored != digits)
        return nullptr;
    return contact.detach();
}

RingDecision resolveCallRing(IPOutlookApp* contacts, const WCHAR* callerId, Explanation* why, const CallLog* log)
{
    RingDecision decision;
    Explanation scratch;
    Explanation& noted = why ? *why : scratch;
    noted = Explanation{};
    ProfileChoice* profileWhy = why ? &why->profile : nullptr;

    // No caller ID at all, judged on the raw text.
    if (!callerId || callerId[0] == u'\0') {
        noted.caller = CallerKind::NoCallerId;
        noted.toneClass = NoCallerId;
        readClassRingTone(NoCallerId, decision.tone);
        (void)readProfileInForce(decision.profile, profileWhy);
        return decision;
    }

    // A number that is no contact's.
    const std::u16string digits = digitsOf(callerId);
    ComPtr<IItem> contact(findCallerContact(contacts, digits));
    if (!contact) {
        noted.caller = CallerKind::NoContact;
        noted.toneClass = UnknownCaller;
        readClassRingTone(UnknownCaller, decision.tone);
        (void)readProfileInForce(decision.profile, profileWhy);
        if (log)
            (void)ringRepeatedCall(*log, digits, false, decision.profile, profileWhy);
        return decision;
    }
    noted.caller = CallerKind::Contact;

    // What the decision needs of the contact and, when asked for, the name
    // that explains it: one read of the contact.
    static constexpr CEPROPID kRead[] = {PIMPR_RINGTONE, PIMPR_CATEGORIES, PIMPR_FIRST_NAME, PIMPR_LAST_NAME,
                                         PIMPR_COMPANY_NAME};
    const std::vector<std::u16string> read = readContactStrings(contact.get(), kRead, why ? 5 : 2);
    if (why)
        why->contactName = contactDisplayName(read[2], read[3], read[4]);

    // The contact's own tone, else its first category's, else the
    // known callers' tone.
    decision.tone = read[0];
    noted.toneSource = ToneSource::Contact;
    const std::u16string category = firstCategory(read[1]);
    if (decision.tone.empty() && !category.empty()) {
        readCategoryRingTone(category, decision.tone);
        noted.toneSource = ToneSource::Category;
        if (why)
            why->toneCategory = category;
    }
    if (decision.tone.empty()) {
        readClassRingTone(KnownCaller, decision.tone);
        noted.toneSource = ToneSource::Class;
        noted.toneClass = KnownCaller;
        noted.toneCategory.clear();
    }

    // A contact with no priority of its own takes its category's; any
    // other value, even one no dialog offers, stands.
    std::uint16_t priority = readContactPriority(contacts, contact.get());
    noted.prioritySource = priority == PriorityNormal ? PrioritySource::Default : PrioritySource::Contact;
    if (priority == PriorityNormal && !category.empty()) {
        priority = readCategoryPriority(category);
        if (priority != PriorityNormal) {
            noted.prioritySource = PrioritySource::Category;
            if (why)
                why->priorityCategory = category;
        }
    }
    noted.priority = priority;

    // The record: VIP, silence, or the profile in force. Every record
    // starts from zero, so a profile key damaged part-way rings quietly
    // rather than with leftovers.
    decision.mute = priority == PriorityMute;
    if (priority == PriorityVip) {
        noted.profile.reason = ProfileReason::Vip;
        (void)readVipProfile(decision.profile);
    } else if (priority == PriorityMute) {
        noted.profile.reason = ProfileReason::Mute;
    } else {
        (void)readProfileInForce(decision.profile, profileWhy);
        if (log)
            (void)ringRepeatedCall(*log, digits, true, decision.profile, profileWhy);
    }
    return decision;
}

}  // namespace settings
