// Who sent a text message, and with which tone and priority it is alerted.
#include <settings/sms.h>

#include <handset/clock.h>
#include <handset/com_ptr.h>

#include <settings/caller.h>

namespace settings {

namespace {

constexpr std::size_t kTailLength = 5;
constexpr const WCHAR* kSmsToneName = u"SMSRingTones";

}  // namespace

std::u16string lookupKey(std::u16string_view address)
{
    if (address.empty())
        return {};
    // The closing character (">" in "Name <number>") is never part of the
    // key, so the search for "<" starts just before it.
    const std::u16string_view searched = address.substr(0, address.size() - 1);
    const std::size_t open = searched.rfind(u'<');
    if (open == std::u16string_view::npos)
        return std::u16string(address);
    std::u16string_view key = searched.substr(open + 1);
    if (!key.empty() && key.front() == u'+')
        key.remove_prefix(1);
    return std::u16string(key);
}

bool senderMatches(std::u16string_view key, std::u16string_view storedNumber)
{
    const std::u16string digits = digitsOf(storedNumber);
    if (key.size() < kTailLength || digits.size() < kTailLength)
        return false;
    return key.substr(key.size() - kTailLength) == std::u16string_view(digits).substr(digits.size() - kTailLength);
}

IItem* findSenderContact(IPOutlookApp* contacts, const std::u16string& key)
{
    if (!contacts)
        return nullptr;
    IItem* found = nullptr;
    CEPROPID matched = 0;
    if (FindMatchingContact(contacts, key.c_str(), FMCF_FINDPHONE, &found, &matched) != S_OK || !found)
        return nullptr;
    handset::ComPtr<IItem> contact(found);
    // The number as the contact stores it; one that cannot be read is empty
    // and matches nothing.
    if (!senderMatches(key, readContactString(contact.get(), matched)))
        return nullptr;
    return contact.detach();
}

SmsChoice chooseSmsAlert(IPOutlookApp* contacts, const std::u16string& key, Explanation* why)
{
    SmsChoice choice;
    Explanation scratch;
    Explanation& noted = why ? *why : scratch;
    noted = Explanation{};
    noted.caller = key.empty() ? CallerKind::NoCallerId : CallerKind::NoContact;

    // A contact: its priority, else its category's; its tone, else its
    // category's.
    if (handset::ComPtr<IItem> contact(findSenderContact(contacts, key)); contact.get()) {
        noted.caller = CallerKind::Contact;
        if (why)
            why->contactName = contactDisplayName(contact.get());
        const std::u16string category = firstCategory(readContactString(contact.get(), PIMPR_CATEGORIES));
        std::uint16_t priority = readContactPriority(contacts, contact.get());
        noted.prioritySource = PrioritySource::Contact;
        // An explicit Normal, too, gives way to the category's VIP or Mute.
        if (priority != PriorityVip && priority != PriorityMute) {
            priority = category.empty() ? std::uint16_t{PriorityNormal} : readCategoryPriority(category);
            noted.prioritySource = priority == PriorityNormal ? PrioritySource::Default : PrioritySource::Category;
            if (why && noted.prioritySource == PrioritySource::Category)
                why->priorityCategory = category;
        }
        choice.priority = priority;

        const CEPROPID smsTone = namedContactProperty(contacts, kSmsToneName, CEVT_LPWSTR);
        choice.tone = smsTone == PIMPR_INVALID_ID ? TonePath{} : readContactString(contact.get(), smsTone);
        noted.toneSource = ToneSource::Contact;
        if (choice.tone.empty() && !category.empty()) {
            readCategorySmsTone(category, choice.tone);
            noted.toneSource = ToneSource::Category;
            if (why)
                why->toneCategory = category;
        }
    }

    // Every sender without a tone of their own or of their category gets
    // the unknown callers' SMS tone, known contacts included.
    if (choice.tone.empty()) {
        readClassSmsTone(UnknownCaller, choice.tone);
        noted.toneSource = ToneSource::Class;
        noted.toneClass = UnknownCaller;
        noted.toneCategory.clear();
    }

    // A priority no dialog offers (a damaged category value) counts as
    // Normal, as it does for calls: the message then follows the profile in
    // force instead of whatever an earlier message left behind.
    if (choice.priority > PriorityMute)
        choice.priority = PriorityNormal;
    noted.priority = choice.priority;
    return choice;
}

void readSmsProfile(std::uint16_t priority, ProfileRecord& profile, ProfileChoice* why)
{
    switch (priority) {
    case PriorityVip:
        if (why)
            *why = ProfileChoice{ProfileReason::Vip, 0, std::nullopt};
        (void)readVipProfile(profile);
        return;
    case PriorityMute:
        if (why)
            *why = ProfileChoice{ProfileReason::Mute, 0, std::nullopt};
        return;
    default: {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        // Texts follow the same profile in force as calls: a schedule means
        // the same for both, the evening's entry carrying over past midnight.
        (void)readProfile(profileInForce(now, why), profile);
        return;
    }
    }
}

}  // namespace settings
