// The device's tools for the contacts: add, set, delete, show, list.

#include <handset/contacts_admin.h>

#include <sqlite3.h>

#include <algorithm>
#include <iterator>

#include "pimstore/admin_internal.h"
#include "pimstore/contact_data.h"
#include "pimstore/results.h"

namespace handset::contacts {

namespace {

struct PhoneLabel {
    CEPROPID propid;
    const char* label;
};

constexpr PhoneLabel kPhoneLabels[] = {
    {PIMPR_MOBILE_TELEPHONE_NUMBER, "mobile"},   {PIMPR_HOME_TELEPHONE_NUMBER, "home"},
    {PIMPR_BUSINESS_TELEPHONE_NUMBER, "work"},   {PIMPR_HOME2_TELEPHONE_NUMBER, "home2"},
    {PIMPR_BUSINESS2_TELEPHONE_NUMBER, "work2"}, {PIMPR_CAR_TELEPHONE_NUMBER, "car"},
    {PIMPR_RADIO_TELEPHONE_NUMBER, "radio"},     {PIMPR_COMPANY_TELEPHONE_NUMBER, "company"},
    {PIMPR_ASSISTANT_TELEPHONE_NUMBER, "assistant"}, {PIMPR_PAGER_NUMBER, "pager"},
    {PIMPR_HOME_FAX_NUMBER, "home-fax"},         {PIMPR_BUSINESS_FAX_NUMBER, "work-fax"},
};
static_assert(std::size(kPhoneLabels) == std::size(kContactPhoneProperties));

const std::u16string* stringOf(const std::map<CEPROPID, pim::PropValue>& values, CEPROPID propid)
{
    auto it = values.find(propid);
    return it == values.end() ? nullptr : std::get_if<std::u16string>(&it->second);
}

std::u16string textOf(const std::map<CEPROPID, pim::PropValue>& values, CEPROPID propid)
{
    const std::u16string* text = stringOf(values, propid);
    return text ? *text : std::u16string();
}

// The contact's named property ids, made when `create` asks for it.
struct NamedIds {
    CEPROPID smsTone = PIMPR_INVALID_ID;
    CEPROPID priority = PIMPR_INVALID_ID;
};

int namedIds(pim::Store& store, bool create, NamedIds& ids)
{
    pim::NameResolution sms;
    pim::NameResolution priority;
    int rc = pim::resolveNames(store, {kSmsRingTonesName}, create ? std::optional<WORD>(CEVT_LPWSTR) : std::nullopt,
                               sms);
    if (rc == SQLITE_OK)
        rc = pim::resolveNames(store, {kPriorityName}, create ? std::optional<WORD>(CEVT_UI2) : std::nullopt,
                               priority);
    if (rc != SQLITE_OK)
        return rc;
    ids.smsTone = TypeFromPropID(sms.ids[0]) == CEVT_LPWSTR ? sms.ids[0] : PIMPR_INVALID_ID;
    ids.priority = TypeFromPropID(priority.ids[0]) == CEVT_UI2 ? priority.ids[0] : PIMPR_INVALID_ID;
    return SQLITE_OK;
}

int readContact(pim::Store& store, CEOID oid, const NamedIds& ids, Contact& contact, bool withPicture)
{
    std::map<CEPROPID, pim::PropValue> values;
    const int rc = pim::readAllProperties(store, oid, values);
    if (rc != SQLITE_OK)
        return rc;
    contact = Contact{};
    contact.oid = oid;
    contact.firstName = textOf(values, PIMPR_FIRST_NAME);
    contact.middleName = textOf(values, PIMPR_MIDDLE_NAME);
    contact.lastName = textOf(values, PIMPR_LAST_NAME);
    contact.company = textOf(values, PIMPR_COMPANY_NAME);
    contact.categories = textOf(values, PIMPR_CATEGORIES);
    contact.ringTone = textOf(values, PIMPR_RINGTONE);
    for (CEPROPID phone : kContactPhoneProperties)
        if (const std::u16string* number = stringOf(values, phone))
            contact.phones.emplace_back(phone, *number);
    if (ids.smsTone != PIMPR_INVALID_ID)
        contact.smsTone = textOf(values, ids.smsTone);
    if (ids.priority != PIMPR_INVALID_ID)
        if (auto it = values.find(ids.priority); it != values.end())
            if (const auto* v = std::get_if<std::int64_t>(&it->second))
                contact.priority = static_cast<WORD>(*v);
    if (auto it = values.find(PIMPR_PICTURE); it != values.end()) {
        if (const auto* bytes = std::get_if<std::vector<BYTE>>(&it->second)) {
            contact.pictureBytes = bytes->size();
            if (withPicture)
                contact.picture = *bytes;
        }
    }
    return SQLITE_OK;
}

LONG read(CEOID oid, Contact& contact)
{
    pim::Store store;
    int rc = store.status();
    NamedIds ids;
    if (rc == SQLITE_OK)
        rc = namedIds(store, false, ids);
    if (rc == SQLITE_OK)
        rc = store.beginRead();
    if (rc == SQLITE_OK)
        rc = readContact(store, oid, ids, contact, true);
    return pim::toWin32(rc);
}

}  // namespace

const char* phoneLabel(CEPROPID phoneProperty)
{
    for (const auto& phone : kPhoneLabels)
        if (phone.propid == phoneProperty)
            return phone.label;
    return nullptr;
}

std::optional<CEPROPID> phoneFromLabel(std::string_view label)
{
    for (const auto& phone : kPhoneLabels)
        if (label == phone.label)
            return phone.propid;
    return std::nullopt;
}

int saveFields(pim::Store& store, CEOID& oid, const ContactChanges& fields)
{
    pim::PropChanges changes;
    auto text = [&](CEPROPID propid, const std::optional<std::u16string>& value) {
        if (value)
            changes[propid] = pim::PropValue(*value);
    };
    text(PIMPR_FIRST_NAME, fields.firstName);
    text(PIMPR_MIDDLE_NAME, fields.middleName);
    text(PIMPR_LAST_NAME, fields.lastName);
    text(PIMPR_COMPANY_NAME, fields.company);
    text(PIMPR_CATEGORIES, fields.categories);
    text(PIMPR_RINGTONE, fields.ringTone);
    for (const auto& [propid, number] : fields.phones) {
        if (!pim::isPhoneProperty(propid))
            return kInvalidField;
        if (number.empty())
            changes[propid] = std::nullopt;
        else
            changes[propid] = pim::PropValue(number);
    }
    if (fields.picture) {
        if (fields.picture->size() > kMaxPictureBytes)
            return kInvalidField;
        if (fields.picture->empty())
            changes[PIMPR_PICTURE] = std::nullopt;
        else
            changes[PIMPR_PICTURE] = pim::PropValue(*fields.picture);
    }
    if (fields.smsTone || fields.priority) {
        NamedIds ids;
        int rc = namedIds(store, true, ids);
        if (rc != SQLITE_OK)
            return rc;
        // A name made earlier with another type cannot hold these values.
        if ((fields.smsTone && ids.smsTone == PIMPR_INVALID_ID) ||
            (fields.priority && ids.priority == PIMPR_INVALID_ID))
            return SQLITE_MISMATCH;
        if (fields.smsTone)
            changes[ids.smsTone] = pim::PropValue(*fields.smsTone);
        if (fields.priority)
            changes[ids.priority] = pim::PropValue(std::int64_t{*fields.priority});
    }
    return pim::saveContact(store, oid, changes);
}

LONG adminResult(int rc)
{
    return rc == kInvalidField ? ERROR_INVALID_PARAMETER : pim::toWin32(rc);
}

LONG addContact(const ContactChanges& fields, CEOID* oid)
{
    pim::Store store;
    int rc = store.status();
    CEOID made = 0;
    if (rc == SQLITE_OK)
        rc = saveFields(store, made, fields);
    if (rc == SQLITE_OK && oid)
        *oid = made;
    return adminResult(rc);
}

LONG setContact(CEOID oid, const ContactChanges& fields)
{
    if (oid == 0)
        return ERROR_FILE_NOT_FOUND;
    pim::Store store;
    int rc = store.status();
    if (rc == SQLITE_OK)
        rc = saveFields(store, oid, fields);
    return adminResult(rc);
}

LONG deleteContact(CEOID oid)
{
    pim::Store store;
    int rc = store.status();
    if (rc == SQLITE_OK)
        rc = pim::deleteContact(store, oid);
    return pim::toWin32(rc);
}

ContactResult showContact(CEOID oid)
{
    ContactResult result;
    result.status = read(oid, result.contact);
    if (result.status != ERROR_SUCCESS)
        result.contact = Contact{};
    return result;
}

ContactListResult listContacts()
{
    ContactListResult result;
    pim::Store store;
    int rc = store.status();
    NamedIds ids;
    std::vector<CEOID> oids;
    if (rc == SQLITE_OK)
        rc = namedIds(store, false, ids);
    if (rc == SQLITE_OK)
        rc = store.beginRead();
    if (rc == SQLITE_OK)
        rc = pim::listContacts(store, oids);
    for (std::size_t i = 0; rc == SQLITE_OK && i < oids.size(); ++i) {
        Contact contact;
        rc = readContact(store, oids[i], ids, contact, false);
        if (rc == SQLITE_OK)
            result.contacts.push_back(std::move(contact));
    }
    if (rc != SQLITE_OK)
        result.contacts.clear();
    result.status = pim::toWin32(rc);
    return result;
}

}  // namespace handset::contacts
