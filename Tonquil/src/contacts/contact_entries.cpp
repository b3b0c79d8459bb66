#include "contact_entries.h"

#include <QStringView>

#include <handset/com_ptr.h>
#include <handset/pimstore_read.h>
#include <settings/caller.h>

namespace tonquil {

using handset::ComPtr;

namespace {

std::u16string shownName(std::u16string text)
{
    if (text.size() > kMaxShownName) {
        std::size_t cut = kMaxShownName;
        // Never leave half of a character that takes two code units.
        if (text[cut - 1] >= 0xD800 && text[cut - 1] <= 0xDBFF)
            --cut;
        text.resize(cut);
    }
    return text;
}

bool startsWith(std::u16string_view text, std::u16string_view prefix)
{
    return QStringView(text).startsWith(QStringView(prefix), Qt::CaseInsensitive);
}

ComPtr<IItem> openContact(IPOutlookApp2* contacts, ULONG oid)
{
    ComPtr<IItem> item;
    if (contacts && FAILED(contacts->GetItemFromOidEx(oid, 0, item.out())))
        item.reset();
    return item;
}

}  // namespace

std::u16string propString(const CEPROPVAL& value)
{
    if ((value.wFlags & CEDB_PROPNOTFOUND) || !value.val.lpwstr)
        return {};
    return value.val.lpwstr;
}

NamedContactIds namedContactIds(IPOutlookApp2* contacts)
{
    return {settings::namedContactProperty(contacts, u"SMSRingTones", CEVT_LPWSTR),
            settings::namedContactProperty(contacts, u"Priority", CEVT_UI2)};
}

FolderContact contactAt(IPOutlookApp2* contacts, IPOutlookItemCollection* items, int index)
{
    ComPtr<IDispatch> dispatch;
    ComPtr<IContact> contact;
    LONG oid = 0;
    if (FAILED(items->Item(index, dispatch.out())) || !dispatch ||
        FAILED(dispatch->QueryInterface(IID_IContact, contact.outVoid())) || FAILED(contact->get_Oid(&oid)))
        return {};
    return {static_cast<ULONG>(oid), openContact(contacts, static_cast<ULONG>(oid))};
}

std::vector<ContactEntry> buildContactEntries(IPOutlookApp2* contacts)
{
    // One pass over the volume for every contact: opening each one and
    // reading it on its own costs many times the reading itself.
    static constexpr CEPROPID kShown[] = {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME, PIMPR_RINGTONE};
    std::vector<ContactEntry> entries;
    const HRESULT read =
        handset::PimReadEveryContact(contacts, kShown, 4, [&entries](CEOID oid, const CEPROPVAL* values) {
            ContactEntry& entry = entries.emplace_back();
            entry.oid = oid;
            entry.firstName = shownName(propString(values[0]));
            entry.lastName = shownName(propString(values[1]));
            entry.company = shownName(propString(values[2]));
            entry.hasRingTone = !propString(values[3]).empty();
            return S_OK;
        });
    if (FAILED(read))
        entries.clear();
    return entries;
}

bool loadContactDetails(IPOutlookApp2* contacts, ContactEntry& entry)
{
    const NamedContactIds named = namedContactIds(contacts);
    ComPtr<IItem> item = openContact(contacts, entry.oid);
    const CEPROPID ids[] = {named.smsTone, named.priority};
    std::vector<BYTE> buffer(kPropBufferBytes);
    const CEPROPVAL* values = settings::readContactProps(item.get(), ids, 2, buffer);
    if (!values)
        return false;
    entry.hasSmsTone = !propString(values[0]).empty();
    entry.priority = (values[1].wFlags & CEDB_PROPNOTFOUND) ? 0 : values[1].val.uiVal;
    entry.detailsLoaded = true;
    return true;
}

std::u16string lastCommaFirst(const std::u16string& last, const std::u16string& first)
{
    if (first.empty())
        return last;
    return last.empty() ? first : last + u", " + first;
}

std::u16string contactEntryText(const ContactEntry& entry)
{
    std::u16string text = lastCommaFirst(entry.lastName, entry.firstName);
    if (!entry.company.empty())
        text += (text.empty() ? u"" : u"\n") + entry.company;
    return text;
}

bool matchesContactFilter(const ContactEntry& entry, std::u16string_view filter)
{
    return filter.empty() || startsWith(entry.firstName, filter) || startsWith(entry.lastName, filter) ||
           startsWith(entry.company, filter);
}

std::u16string contactHeading(const std::u16string& last, const std::u16string& first,
                              const std::u16string& company)
{
    const std::u16string heading = lastCommaFirst(last, first);
    return heading.empty() ? company : heading;
}

}  // namespace tonquil
