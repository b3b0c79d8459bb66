// The device's own tools for the contacts ("handset contacts ..."): add,
// change, delete, show and list contacts, and import address books from
// vCard files. They write the same contacts volume, with the same
// properties, as the phone's contacts interfaces (pimstore.h), including the
// two named properties the tone manager keeps on a contact.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <handset/pimstore.h>

namespace handset::contacts {

// The named properties of the tone manager, with the types they are made with.
inline constexpr char16_t kSmsRingTonesName[] = u"SMSRingTones";  // CEVT_LPWSTR
inline constexpr char16_t kPriorityName[] = u"Priority";          // CEVT_UI2

// The largest picture a contact holds: a photo is a few hundred kilobytes;
// the bound keeps a runaway writer from filling the device.
inline constexpr std::size_t kMaxPictureBytes = 16 * 1024 * 1024;

// The short names tools give the phone properties ("mobile", "home",
// "work", "home2", "work2", "car", "radio", "company", "assistant", "pager",
// "home-fax", "work-fax").
const char* phoneLabel(CEPROPID phoneProperty);  // null for a property that is not a phone number
std::optional<CEPROPID> phoneFromLabel(std::string_view label);

using PhoneNumbers = std::vector<std::pair<CEPROPID, std::u16string>>;

// What add and set write. A field left empty (nullopt) is not touched; a
// phone number or picture given empty is removed.
struct ContactChanges {
    std::optional<std::u16string> firstName{};
    std::optional<std::u16string> middleName{};
    std::optional<std::u16string> lastName{};
    std::optional<std::u16string> company{};
    PhoneNumbers phones{};                       // phone property, number as written
    std::optional<std::u16string> categories{};  // "Family,Work"
    std::optional<std::u16string> ringTone{};    // device path
    std::optional<std::u16string> smsTone{};     // "SMSRingTones"
    std::optional<WORD> priority{};              // "Priority"
    std::optional<std::vector<BYTE>> picture{};  // the picture file's bytes, at most kMaxPictureBytes

    bool operator==(const ContactChanges&) const = default;
};

// A contact as show and list read it. Text properties the contact does not
// have read as empty; the priority stays empty when it was never written.
struct Contact {
    CEOID oid = 0;
    std::u16string firstName;
    std::u16string middleName;
    std::u16string lastName;
    std::u16string company;
    PhoneNumbers phones;  // the numbers it has, in the order of kContactPhoneProperties
    std::u16string categories;
    std::u16string ringTone;
    std::u16string smsTone;
    std::optional<WORD> priority;
    std::size_t pictureBytes = 0;
    std::vector<BYTE> picture;  // the picture's bytes: showContact reads them, listContacts does not
};

// Adds a contact; *oid (may be null) receives its object id.
// ERROR_INVALID_PARAMETER for a picture above kMaxPictureBytes (and, for
// setContact as well, a phone property that is not a phone number).
[[nodiscard]] LONG addContact(const ContactChanges& fields, CEOID* oid = nullptr);

// Changes a contact. ERROR_FILE_NOT_FOUND when there is no contact `oid`;
// ERROR_INVALID_PARAMETER for a phone property that is not a phone number.
[[nodiscard]] LONG setContact(CEOID oid, const ContactChanges& fields);

// Deletes a contact. ERROR_FILE_NOT_FOUND when there is none.
[[nodiscard]] LONG deleteContact(CEOID oid);

struct [[nodiscard]] ContactResult {
    LONG status = ERROR_SUCCESS;  // ERROR_FILE_NOT_FOUND: no such contact
    Contact contact;

    bool ok() const { return status == ERROR_SUCCESS; }
};
ContactResult showContact(CEOID oid);

struct [[nodiscard]] ContactListResult {
    LONG status = ERROR_SUCCESS;
    std::vector<Contact> contacts;  // in the order they were made

    bool ok() const { return status == ERROR_SUCCESS; }
};
ContactListResult listContacts();

// vCard files (versions 2.1, 3.0 and 4.0 as phones and address books write
// them): N, FN, ORG, TEL with its types, CATEGORIES and PHOTO are read;
// other properties are skipped. Folded lines, quoted-printable (with soft
// line breaks), CHARSET, base64 and data: URIs are understood. A card whose
// N names nobody takes FN as its first name, unless FN only repeats ORG.
// Text must be UTF-8 unless the property names its CHARSET. Numbers go to
// the phone property their TEL types ask for (cell: mobile, work, home, fax,
// pager, car; no type: home), else to the next free one.

// Where and why a file was refused, or a note about a card that was read.
// `line` is 1-based; 0 when the file as a whole is at fault.
struct VCardError {
    int line = 0;
    std::string message;
};

struct [[nodiscard]] VCardParseResult {
    std::vector<ContactChanges> cards;
    std::optional<VCardError> error;  // the first malformed card; `cards` is then empty
    std::vector<VCardError> notes;    // what was read but could not be kept (a 13th number)

    bool ok() const { return !error; }
};

// Parses the text of a .vcf file. Touches no contacts, so it can be fed anything.
VCardParseResult parseVCards(std::string_view text);

struct [[nodiscard]] VCardImportResult {
    std::vector<CEOID> added;         // the new contacts' object ids, in file order
    std::optional<VCardError> error;  // set when nothing was imported
    std::vector<VCardError> notes;
    LONG status = ERROR_SUCCESS;      // the storage's code when saving failed

    bool ok() const { return !error && status == ERROR_SUCCESS; }
};

// Parses and adds every card in one transaction: all of them, or none when a
// card is malformed or saving fails.
VCardImportResult importVCards(std::string_view text);
VCardImportResult importVCardFile(const std::filesystem::path& file);

}  // namespace handset::contacts
