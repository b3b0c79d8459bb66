// Who is calling, as the phone shows and logs it: the contact whose number
// matches the caller ID, by the phone's own number match.
#include <handset/radio.h>

#include <sqlite3.h>

#include <handset/contacts_admin.h>

#include "pimstore/contact_data.h"

namespace handset::radio {

namespace {

std::u16string nameOf(const contacts::Contact& contact)
{
    std::u16string name;
    for (const std::u16string* part : {&contact.firstName, &contact.middleName, &contact.lastName})
        if (!part->empty())
            name += (name.empty() ? u"" : u" ") + *part;
    return name.empty() ? contact.company : name;
}

// The kind of number the call log names: mobile, work or home.
std::u16string kindOf(CEPROPID phone)
{
    switch (phone) {
    case PIMPR_MOBILE_TELEPHONE_NUMBER:
        return u"m";
    case PIMPR_BUSINESS_TELEPHONE_NUMBER:
    case PIMPR_BUSINESS2_TELEPHONE_NUMBER:
        return u"w";
    case PIMPR_HOME_TELEPHONE_NUMBER:
    case PIMPR_HOME2_TELEPHONE_NUMBER:
        return u"h";
    default:
        return {};
    }
}

}  // namespace

std::optional<CallerContact> findCallerContact(const std::u16string& number, bool withPicture)
{
    CEOID oid = 0;
    CEPROPID phone = 0;
    {
        pim::Store store;
        if (store.status() != SQLITE_OK || pim::findContactByPhone(store, number, oid, phone) != SQLITE_OK)
            return std::nullopt;
    }
    contacts::ContactResult shown = contacts::showContact(oid);
    if (!shown.ok())
        return std::nullopt;
    CallerContact caller;
    caller.oid = oid;
    caller.name = nameOf(shown.contact);
    caller.numberKind = kindOf(phone);
    if (withPicture)
        caller.picture = std::move(shown.contact.picture);
    return caller;
}

}  // namespace handset::radio
