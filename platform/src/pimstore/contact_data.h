// Contacts, named properties, the phone-number index and the category
// records, as plain operations on the volume. The COM objects, the category
// database functions and the device's tools are thin surfaces over these.
//
// Every operation takes the Store the caller holds (and so the volume's
// lock) and returns SQLITE_OK, kMissing or a SQLite error code.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <handset/cedb.h>

#include "pimstore/store.h"

namespace handset::pim {

// A stored value. Integers of every width, BOOL and FILETIME are integers;
// strings and blobs keep their exact units and bytes.
using PropValue = std::variant<std::int64_t, double, std::u16string, std::vector<BYTE>>;

// Changes to one contact: a value to write, or nullopt to remove.
using PropChanges = std::map<CEPROPID, std::optional<PropValue>>;

// One property as a read found it.
struct PropRead {
    CEPROPID propid = 0;
    std::optional<PropValue> value;  // empty: the property is not there
};

// Which properties a contact may hold, and whether a type can be stored by
// value (as opposed to a stream).
bool isValueType(WORD type);
bool isBuiltInContactProperty(CEPROPID propid);
bool isPhoneProperty(CEPROPID propid);

// Whether `propid` is a built-in contact property or a named one that exists.
int isKnownContactProperty(Store& store, CEPROPID propid, bool& known);

int contactExists(Store& store, CEOID oid);  // SQLITE_OK or kMissing

// Reads one property; `value` stays empty when the contact lacks it.
// kMissing when there is no such contact.
int readProperty(Store& store, CEOID oid, CEPROPID propid, std::optional<PropValue>& value);

// Every stored property of a contact. kMissing when there is no such contact.
int readAllProperties(Store& store, CEOID oid, std::map<CEPROPID, PropValue>& values);

// Reads `propids` of every contact in one pass over the volume, in object id
// order (the folder's): `each` gets a contact's object id and one read per
// id asked for, in that order, empty where the contact lacks the property
// (a stream property is always empty: it is read through its stream only).
// A result of `each` other than SQLITE_OK ends the pass and is returned.
int readEveryContact(Store& store, std::span<const CEPROPID> propids,
                     const std::function<int(CEOID, std::span<const PropRead>)>& each);

// Writes `changes` to contact `oid` in one write (a new contact when oid is
// 0, whose id is then stored in `oid`). Keeps the phone-number index and the
// category records in step. kMissing when contact `oid` does not exist.
int saveContact(Store& store, CEOID& oid, const PropChanges& changes);

int deleteContact(Store& store, CEOID oid);
int listContacts(Store& store, std::vector<CEOID>& oids);

// Resolves names to property ids; with `createType` set, creates the missing
// names with that type. `ids` gets PIMPR_INVALID_ID for a name that is
// missing (without create) or exists with another type, and the flags tell
// which happened.
struct NameResolution {
    std::vector<CEPROPID> ids;
    bool missing = false;
    bool typeMismatch = false;
};
int resolveNames(Store& store, const std::vector<std::u16string>& names, std::optional<WORD> createType,
                 NameResolution& result);

// The phone-number match (see FindMatchingContact in pimstore.h).
// kMissing when nothing matches.
int findContactByPhone(Store& store, std::u16string_view text, CEOID& oid, CEPROPID& phoneProperty);

// The digits of a phone number, in order.
std::string phoneDigits(std::u16string_view number);

// Category records.
std::u16string trimCategory(std::u16string_view name);
std::vector<std::u16string> splitCategories(std::u16string_view list);
int ensureCategories(Store& store, std::u16string_view list);
int addCategoryRecord(Store& store, std::u16string_view name, CEOID& recid);  // SQLITE_CONSTRAINT: exists
int deleteCategoryRecord(Store& store, std::u16string_view name);               // kMissing: none
int listCategoryRecords(Store& store, std::vector<CategoryRecord>& records);
int categoryAt(Store& store, std::int64_t index, CEOID& recid);                 // kMissing past the end
int categoryIndex(Store& store, CEOID recid, std::int64_t& index);              // kMissing: none
int categoryCount(Store& store, std::int64_t& count);
int categoryName(Store& store, CEOID recid, std::u16string& name);              // kMissing: none

}  // namespace handset::pim
