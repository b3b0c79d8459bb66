// The contacts as the Contacts page lists them: one entry per contact with
// the names shown and the marks drawn, and the rules for an entry's text,
// the search and the dialog's heading. Also the property reads both the
// page and the contact dialog make.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <handset/com_ptr.h>
#include <handset/pimstore.h>

namespace tonquil {

// The longest name or company an entry shows; the contact keeps its whole
// text (only the display is shortened).
constexpr std::size_t kMaxShownName = 63;

struct ContactEntry {
    ULONG oid = 0;
    std::u16string firstName;
    std::u16string lastName;
    std::u16string company;
    bool hasRingTone = false;
    bool hasSmsTone = false;
    std::uint16_t priority = 0;
    // hasSmsTone and priority have been read (the first time the entry was drawn).
    bool detailsLoaded = false;
};

// One entry per contact of the contacts folder, in the folder's order, each
// with its names, company and ring tone mark, read in one pass. None
// without a logged-on contacts application or when the contacts cannot be
// read.
std::vector<ContactEntry> buildContactEntries(IPOutlookApp2* contacts);

// Reads the SMS tone mark and the priority; false (the entry unchanged, to
// be tried again) when the contact cannot be opened or read.
bool loadContactDetails(IPOutlookApp2* contacts, ContactEntry& entry);

// "Last, First", either name alone when the other is empty.
std::u16string lastCommaFirst(const std::u16string& last, const std::u16string& first);

// "Last, First" on the first line and the company on the second; whatever
// is empty is left out with its separator.
std::u16string contactEntryText(const ContactEntry& entry);

// Whether the first name, the last name or the company begins with the
// filter, regardless of case. An empty filter lists every entry.
bool matchesContactFilter(const ContactEntry& entry, std::u16string_view filter);

// The dialog's heading: "Last, First" (either alone when the other is
// empty), else the company.
std::u16string contactHeading(const std::u16string& last, const std::u16string& first,
                              const std::u16string& company);

// The room a first read of a contact's properties starts with; a longer
// read grows it (settings::readContactProps).
constexpr std::size_t kPropBufferBytes = 1024;

// A string value; empty when the property is absent.
std::u16string propString(const CEPROPVAL& value);

// The ids of "SMSRingTones" (a string) and "Priority" (16 bits), made on first use.
struct NamedContactIds {
    CEPROPID smsTone = PIMPR_INVALID_ID;
    CEPROPID priority = PIMPR_INVALID_ID;
};
NamedContactIds namedContactIds(IPOutlookApp2* contacts);

// The contact at position `index` (from 1) of the contacts folder's items:
// its object id and its item, or a null item when either cannot be had.
struct FolderContact {
    ULONG oid = 0;
    handset::ComPtr<IItem> item;
};
FolderContact contactAt(IPOutlookApp2* contacts, IPOutlookItemCollection* items, int index);

}  // namespace tonquil
