#include "phone_settings.h"

#include <algorithm>

#include <handset/com_ptr.h>
#include <handset/contacts_admin.h>
#include <handset/reg_key.h>
#include <handset/registry_batch.h>
#include <handset/wstring.h>

#include <contacts/contact_entries.h>
#include <settings/caller.h>

namespace tonquil::backup {
namespace {

using handset::ComPtr;

LONG readKeyTree(HKEY parent, const std::u16string& path, std::vector<RegistryKey>& keys)
{
    handset::RegKey key;
    const std::u16string full = path.empty() ? std::u16string(kProductKey) : std::u16string(kProductKey) + u"\\" + path;
    LONG rc = RegOpenKeyEx(parent, full.c_str(), 0, 0, key.out());
    if (rc != ERROR_SUCCESS)
        return rc;
    handset::RegKeyContents contents;
    if ((rc = handset::readRegKey(key.get(), contents)) != ERROR_SUCCESS)
        return rc;
    keys.push_back({path, std::move(contents.values)});
    for (const std::u16string& sub : contents.subKeys)
        if ((rc = readKeyTree(parent, path.empty() ? sub : path + u"\\" + sub, keys)) != ERROR_SUCCESS)
            return rc;
    return ERROR_SUCCESS;
}

NamedIds namedIds(IPOutlookApp2* contacts, ULONG create)
{
    NamedIds ids;
    if (!contacts)
        return ids;
    // One name per call: a missing one must not hide the other.
    const WCHAR* sms = handset::contacts::kSmsRingTonesName;
    const WCHAR* priority = handset::contacts::kPriorityName;
    if (FAILED(contacts->GetIDsFromNames(1, &sms, create ? PIM_CREATE | CEVT_LPWSTR : 0, &ids.smsTone)))
        ids.smsTone = PIMPR_INVALID_ID;
    if (FAILED(contacts->GetIDsFromNames(1, &priority, create ? PIM_CREATE | CEVT_UI2 : 0, &ids.priority)))
        ids.priority = PIMPR_INVALID_ID;
    return ids;
}

std::optional<std::u16string> optionalString(const CEPROPVAL& value)
{
    if (value.wFlags & CEDB_PROPNOTFOUND)
        return std::nullopt;
    return propString(value);
}

bool endsWithFolded(const std::u16string& text, std::u16string_view ending)
{
    return text.size() >= ending.size() &&
           handset::foldCase(text.substr(text.size() - ending.size())) == handset::foldCase(ending);
}

}  // namespace

bool readProductKey(std::vector<RegistryKey>& keys)
{
    keys.clear();
    const LONG rc = handset::RegReadSnapshot([&] { return readKeyTree(HKEY_CURRENT_USER, {}, keys); });
    if (rc == ERROR_FILE_NOT_FOUND && keys.empty())
        return true;
    return rc == ERROR_SUCCESS;
}

NamedIds findNamedIds(IPOutlookApp2* contacts)
{
    return namedIds(contacts, 0);
}

NamedIds makeNamedIds(IPOutlookApp2* contacts)
{
    return namedIds(contacts, PIM_CREATE);
}

bool readPhoneContacts(IPOutlookApp2* contacts, std::vector<PhoneContact>& out)
{
    out.clear();
    ComPtr<IFolder> folder;
    ComPtr<IPOutlookItemCollection> items;
    int count = 0;
    if (!contacts || FAILED(contacts->GetDefaultFolder(olFolderContacts, folder.out())) ||
        FAILED(folder->get_Items(items.out())) || FAILED(items->get_Count(&count)))
        return false;

    const NamedIds named = findNamedIds(contacts);
    std::vector<CEPROPID> ids = {PIMPR_FIRST_NAME, PIMPR_LAST_NAME, PIMPR_COMPANY_NAME, PIMPR_RINGTONE,
                                 PIMPR_CATEGORIES};
    const std::size_t firstPhone = ids.size();
    ids.insert(ids.end(), std::begin(kContactPhoneProperties), std::end(kContactPhoneProperties));
    const std::size_t smsAt = named.smsTone != PIMPR_INVALID_ID ? ids.size() : 0;
    if (smsAt)
        ids.push_back(named.smsTone);
    const bool priorityIsWord = named.priority != PIMPR_INVALID_ID && (named.priority & 0xFFFF) == CEVT_UI2;
    const std::size_t priorityAt = priorityIsWord ? ids.size() : 0;
    if (priorityAt)
        ids.push_back(named.priority);

    out.reserve(static_cast<std::size_t>(std::max(count, 0)));
    std::vector<BYTE> buffer;
    for (int i = 1; i <= count; ++i) {
        const FolderContact found = contactAt(contacts, items.get(), i);
        if (!found.item)
            return false;
        const CEPROPVAL* values =
            settings::readContactProps(found.item.get(), ids.data(), static_cast<WORD>(ids.size()), buffer);
        if (!values)
            return false;
        PhoneContact entry;
        entry.oid = found.oid;
        ContactSettings& s = entry.settings;
        s.firstName = propString(values[0]);
        s.lastName = propString(values[1]);
        s.company = propString(values[2]);
        s.ringTone = optionalString(values[3]);
        s.categories = optionalString(values[4]);
        for (std::size_t p = firstPhone; p < firstPhone + std::size(kContactPhoneProperties); ++p)
            if (std::u16string digits = settings::digitsOf(propString(values[p])); !digits.empty())
                s.numbers.push_back(std::move(digits));
        if (smsAt)
            s.smsTone = optionalString(values[smsAt]);
        if (priorityAt && !(values[priorityAt].wFlags & CEDB_PROPNOTFOUND))
            s.priority = values[priorityAt].val.uiVal;
        out.push_back(std::move(entry));
    }
    return true;
}

bool hasSettings(const ContactSettings& contact)
{
    return contact.ringTone || contact.smsTone || contact.priority || contact.categories;
}

std::u16string toneValueText(const handset::RegValue& value)
{
    if (value.type != REG_SZ || value.data.size() < 2)
        return {};
    std::u16string text(value.data.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(value.data[2 * i] | value.data[2 * i + 1] << 8);
    if (const std::size_t end = text.find(u'\0'); end != std::u16string::npos)
        text.resize(end);
    return text;
}

bool isToneValue(const handset::RegValue& value)
{
    const std::u16string text = toneValueText(value);
    if (text.empty() || text.front() != u'\\')
        return false;
    for (std::u16string_view ending : {u".wav", u".mp3", u".wma", u".mid", u".midi"})
        if (endsWithFolded(text, ending))
            return true;
    return false;
}

handset::RegValue withText(handset::RegValue value, const std::u16string& text)
{
    value.type = REG_SZ;
    value.data.clear();
    for (char16_t unit : text) {
        value.data.push_back(static_cast<BYTE>(unit & 0xFF));
        value.data.push_back(static_cast<BYTE>(unit >> 8));
    }
    value.data.push_back(0);
    value.data.push_back(0);
    return value;
}

}  // namespace tonquil::backup
