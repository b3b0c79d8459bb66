#include "restore.h"

#include <fcntl.h>
#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <unordered_map>

#include <handset/com_ptr.h>
#include <handset/device.h>
#include <handset/host_file.h>
#include <handset/pimstore_batch.h>
#include <handset/wstring.h>

#include <settings/explain.h>

#include "backup.h"
#include "phone_settings.h"

namespace tonquil::backup {
namespace {

using handset::ComPtr;
using handset::RegOperation;

// Only numbers a call could be matched by identify a contact.
constexpr std::size_t kShortestNumber = 5;

std::u16string nameKey(const ContactSettings& contact)
{
    if (contact.firstName.empty() && contact.lastName.empty() && contact.company.empty())
        return {};
    return handset::foldCase(contact.firstName) + u'\x1F' + handset::foldCase(contact.lastName) + u'\x1F' +
           handset::foldCase(contact.company);
}

std::u16string describe(const ContactSettings& contact)
{
    std::u16string text = contact.firstName;
    if (!contact.lastName.empty())
        text += (text.empty() ? u"" : u" ") + contact.lastName;
    if (text.empty())
        text = contact.company;
    if (text.empty())
        text = u"(no name)";
    if (!contact.numbers.empty())
        text += u" (" + contact.numbers.front() + u")";
    return text;
}

handset::RegKeyPath productPath(const std::u16string& path)
{
    return {HKEY_CURRENT_USER, path.empty() ? std::u16string(kProductKey) : std::u16string(kProductKey) + u"\\" + path};
}

// Replaces the product key with `keys`: delete it, then make it again.
std::vector<RegOperation> replaceProductKey(const std::vector<RegistryKey>& keys)
{
    std::vector<RegOperation> operations;
    operations.push_back({RegOperation::Kind::DeleteKey, productPath({}), {}, REG_NONE, {}, 0});
    for (const RegistryKey& key : keys) {
        operations.push_back({RegOperation::Kind::CreateKey, productPath(key.path), {}, REG_NONE, {}, 0});
        for (const handset::RegValue& value : key.values)
            operations.push_back({RegOperation::Kind::SetValue, productPath(key.path), value.name, value.type,
                                  value.data, 0});
    }
    return operations;
}

std::size_t subKeysOf(const std::vector<RegistryKey>& keys, std::u16string_view parent)
{
    const std::u16string prefix = handset::foldCase(parent) + u"\\";
    return static_cast<std::size_t>(std::count_if(keys.begin(), keys.end(), [&](const RegistryKey& key) {
        const std::u16string folded = handset::foldCase(key.path);
        return folded.size() > prefix.size() && folded.compare(0, prefix.size(), prefix) == 0 &&
               folded.find(u'\\', prefix.size()) == std::u16string::npos;
    }));
}

std::optional<std::string> fileBytes(const std::u16string& devicePath)
{
    const std::optional<std::filesystem::path> host = handset::mapDevicePath(devicePath);
    std::error_code ec;
    if (!host || !std::filesystem::is_regular_file(*host, ec))
        return std::nullopt;
    return handset::readHostFile(*host);
}

bool deviceEntryExists(const std::u16string& devicePath)
{
    const std::optional<std::filesystem::path> host = handset::mapDevicePath(devicePath);
    std::error_code ec;
    return !host || std::filesystem::symlink_status(*host, ec).type() != std::filesystem::file_type::not_found;
}

// "Name (n).ext" beside `path`.
std::u16string numberedPath(const std::u16string& path, int number)
{
    const std::size_t slash = path.find_last_of(u'\\');
    const std::size_t dot = path.find_last_of(u'.');
    const std::size_t cut = dot == std::u16string::npos || dot < slash ? path.size() : dot;
    return path.substr(0, cut) + u" (" + handset::fromUtf8(std::to_string(number)) + u")" + path.substr(cut);
}

// What the restore wrote to the file system, so a failure can take it back.
struct FileUndo {
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> folders;  // made, innermost last

    void undo()
    {
        std::error_code ec;
        for (auto it = files.rbegin(); it != files.rend(); ++it)
            std::filesystem::remove(*it, ec);
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            std::filesystem::remove(*it, ec);  // only while empty
    }
};

// Puts `bytes` at `target` through a temporary file renamed without
// replacing anything, so an existing file is never touched.
bool placeFile(const std::filesystem::path& target, const std::string& bytes, FileUndo& undo)
{
    std::error_code ec;
    std::vector<std::filesystem::path> missing;
    for (std::filesystem::path folder = target.parent_path(); !std::filesystem::exists(folder, ec);
         folder = folder.parent_path())
        missing.push_back(folder);
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (!std::filesystem::create_directory(*it, ec))
            return false;
        undo.folders.push_back(*it);
    }
    const std::filesystem::path temporary = target.parent_path() / ("." + target.filename().string() + ".restoring");
    if (!handset::writeHostFile(temporary, bytes)) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
        std::filesystem::remove(temporary, ec);
        return false;
    }
    undo.files.push_back(target);
    return true;
}

HRESULT writeContact(IPOutlookApp2* contacts, const NamedIds& named, ULONG oid, const ContactSettings& wanted,
                     const RestorePlan& plan)
{
    ComPtr<IItem> item;
    HRESULT hr = contacts->GetItemFromOidEx(oid, 0, item.out());
    if (FAILED(hr))
        return hr;
    std::u16string ring = plan.tonePath(wanted.ringTone.value_or(u""));
    std::u16string sms = plan.tonePath(wanted.smsTone.value_or(u""));
    std::u16string categories = wanted.categories.value_or(u"");
    CEPROPVAL values[4]{};
    WORD count = 0;
    auto text = [&](CEPROPID id, bool present, std::u16string& value) {
        values[count].propid = id;
        values[count].wFlags = present ? 0 : CEDB_PROPDELETE;
        values[count].val.lpwstr = value.data();
        ++count;
    };
    text(PIMPR_RINGTONE, wanted.ringTone.has_value(), ring);
    text(PIMPR_CATEGORIES, wanted.categories.has_value(), categories);
    text(named.smsTone, wanted.smsTone.has_value(), sms);
    values[count].propid = named.priority;
    values[count].wFlags = wanted.priority ? 0 : CEDB_PROPDELETE;
    values[count].val.uiVal = wanted.priority.value_or(0);
    ++count;
    if (FAILED(hr = item->SetProps(0, count, values)))
        return hr;
    return item->Save();
}

}  // namespace

std::u16string RestorePlan::tonePath(const std::u16string& path) const
{
    if (path.empty())
        return path;
    const std::u16string folded = handset::foldCase(path);
    for (const auto& [from, to] : renamed)
        if (handset::foldCase(from) == folded)
            return to;
    return path;
}

PlanResult planRestore(IPOutlookApp2* contacts, BackupContents contents)
{
    PlanResult result;
    RestorePlan plan;
    plan.contents = std::move(contents);
    const Manifest& manifest = plan.contents.manifest;

    // Which contact of this phone each backup contact is.
    std::vector<PhoneContact> phone;
    if (!readPhoneContacts(contacts, phone)) {
        result.error = "the contacts of this phone could not be read";
        return result;
    }
    std::unordered_map<std::u16string, std::vector<ULONG>> byNumber, byName;
    for (const PhoneContact& contact : phone) {
        std::set<std::u16string> numbers(contact.settings.numbers.begin(), contact.settings.numbers.end());
        for (const std::u16string& number : numbers)
            if (number.size() >= kShortestNumber)
                byNumber[number].push_back(contact.oid);
        if (std::u16string key = nameKey(contact.settings); !key.empty())
            byName[key].push_back(contact.oid);
    }
    std::vector<std::optional<ULONG>> chosen(manifest.contacts.size());
    std::unordered_map<ULONG, int> claims;
    for (std::size_t i = 0; i < manifest.contacts.size(); ++i) {
        const ContactSettings& wanted = manifest.contacts[i];
        std::set<ULONG> candidates;
        for (const std::u16string& number : wanted.numbers)
            if (number.size() >= kShortestNumber)
                if (auto it = byNumber.find(number); it != byNumber.end())
                    candidates.insert(it->second.begin(), it->second.end());
        if (candidates.empty())
            if (auto it = byName.find(nameKey(wanted)); it != byName.end())
                candidates.insert(it->second.begin(), it->second.end());
        if (candidates.empty()) {
            plan.unmatched.push_back(describe(wanted));
        } else if (candidates.size() > 1) {
            plan.ambiguous.push_back(describe(wanted));
        } else {
            chosen[i] = *candidates.begin();
            ++claims[*candidates.begin()];
        }
    }
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        if (!chosen[i])
            continue;
        if (claims[*chosen[i]] > 1)
            plan.ambiguous.push_back(describe(manifest.contacts[i]));
        else
            plan.matches.emplace_back(i, *chosen[i]);
    }

    // Where each tone file goes: its own path, or a free numbered name
    // beside it when a different file already has that name.
    std::set<std::u16string> taken;
    for (std::size_t i = 0; i < manifest.toneFiles.size(); ++i)
        taken.insert(handset::foldCase(manifest.toneFiles[i].path));
    for (std::size_t i = 0; i < manifest.toneFiles.size(); ++i) {
        const ToneFile& file = manifest.toneFiles[i];
        const std::string& bytes = plan.contents.toneData[i];
        std::optional<TonePlacement> placement;
        for (int number = 1; number <= 99 && !placement; ++number) {
            const std::u16string target = number == 1 ? file.path : numberedPath(file.path, number);
            if (number > 1 && (target.size() > kMaxPathChars || taken.count(handset::foldCase(target))))
                continue;
            if (!handset::mapDevicePath(target))
                break;
            if (const std::optional<std::string> existing = fileBytes(target)) {
                if (*existing == bytes)
                    placement = TonePlacement{i, target, false};
            } else if (!deviceEntryExists(target)) {
                placement = TonePlacement{i, target, true};
            }
        }
        if (!placement) {
            result.error = "the tone file \"" + handset::toUtf8(file.path) + "\" cannot be put back on this phone";
            return result;
        }
        taken.insert(handset::foldCase(placement->target));
        if (placement->target != file.path)
            plan.renamed.emplace_back(file.path, placement->target);
        plan.tones.push_back(std::move(*placement));
    }
    std::set<std::u16string> inBackup;
    for (const ToneFile& file : manifest.toneFiles)
        inBackup.insert(handset::foldCase(file.path));
    for (const std::u16string& tone : assignedTones(manifest))
        if (!inBackup.count(handset::foldCase(tone)) && settings::toneFileMissing(tone))
            plan.missingTones.push_back(tone);

    // The product key: the backup's, tone paths as placed, and this phone's
    // own installation folder, which belongs to the installation here.
    std::vector<RegistryKey> now;
    if (!readProductKey(now)) {
        result.error = "Tonquil's settings on this phone could not be read";
        return result;
    }
    std::vector<RegistryKey> wanted = manifest.registry;
    for (RegistryKey& key : wanted)
        for (handset::RegValue& value : key.values)
            if (isToneValue(value))
                value = withText(value, plan.tonePath(toneValueText(value)));
    const auto installDir = [](std::vector<handset::RegValue>& values) {
        return std::find_if(values.begin(), values.end(), [](const handset::RegValue& value) {
            return handset::foldCase(value.name) == u"installdir";
        });
    };
    if (!now.empty() && now.front().path.empty()) {
        if (auto here = installDir(now.front().values); here != now.front().values.end()) {
            if (wanted.empty() || !wanted.front().path.empty())
                wanted.insert(wanted.begin(), RegistryKey{});
            auto there = installDir(wanted.front().values);
            if (there != wanted.front().values.end())
                *there = *here;
            else
                wanted.front().values.push_back(*here);
        }
    }
    plan.categories = subKeysOf(wanted, u"Categories");
    plan.classes = subKeysOf(wanted, u"System");
    plan.registry = replaceProductKey(wanted);
    plan.undoRegistry = now.empty() ? std::vector<RegOperation>{{RegOperation::Kind::DeleteKey, productPath({}),
                                                                 {}, REG_NONE, {}, 0}}
                                    : replaceProductKey(now);
    result.plan = std::move(plan);
    return result;
}

std::u16string restoreSummary(const RestorePlan& plan)
{
    auto number = [](std::size_t n) { return handset::fromUtf8(std::to_string(n)); };
    // A long list shows its first names and how many more there are.
    auto list = [&](const std::u16string& heading, const std::vector<std::u16string>& items) {
        if (items.empty())
            return std::u16string();
        std::u16string text = u"\n\n" + heading + u" (" + number(items.size()) + u"):";
        constexpr std::size_t kShown = 8;
        for (std::size_t i = 0; i < items.size() && i < kShown; ++i)
            text += u"\n" + items[i];
        if (items.size() > kShown)
            text += u"\nand " + number(items.size() - kShown) + u" more";
        return text;
    };
    const std::size_t written = static_cast<std::size_t>(
        std::count_if(plan.tones.begin(), plan.tones.end(), [](const TonePlacement& t) { return t.write; }));
    std::u16string text = u"Restore this backup? It replaces Tonquil's settings with those of the backup:\n" +
                          number(plan.matches.size()) + u" contacts' settings, " + number(plan.categories) +
                          u" categories, " + number(plan.classes) + u" caller classes, " + number(written) +
                          u" tone files to copy (" + number(plan.tones.size() - written) + u" already here).";
    std::vector<std::u16string> renamed;
    for (const auto& [from, to] : plan.renamed)
        renamed.push_back(from + u" -> " + to);
    text += list(u"Contacts this phone does not have", plan.unmatched);
    text += list(u"Contacts that match more than one contact here (left alone)", plan.ambiguous);
    text += list(u"Tone files missing from the backup and this phone", plan.missingTones);
    text += list(u"Tone files put under a new name, since another file has the name", renamed);
    return text;
}

RestoreResult applyRestore(IPOutlookApp2* contacts, const RestorePlan& plan)
{
    RestoreResult result;
    FileUndo files;
    for (const TonePlacement& tone : plan.tones) {
        if (!tone.write)
            continue;
        const std::optional<std::filesystem::path> host = handset::mapDevicePath(tone.target);
        if (!host || !placeFile(*host, plan.contents.toneData[tone.file], files)) {
            files.undo();
            result.error = "the tone file \"" + handset::toUtf8(tone.target) + "\" could not be written";
            return result;
        }
    }

    bool registryWritten = false;
    const HRESULT hr = handset::PimApplyBatch([&]() -> HRESULT {
        const NamedIds named = makeNamedIds(contacts);
        if (named.smsTone == PIMPR_INVALID_ID || named.priority == PIMPR_INVALID_ID ||
            (named.priority & 0xFFFF) != CEVT_UI2)
            return E_FAIL;
        for (const auto& [index, oid] : plan.matches)
            if (const HRESULT written = writeContact(contacts, named, oid, plan.contents.manifest.contacts[index], plan);
                FAILED(written))
                return written;
        if (const LONG rc = handset::applyRegOperations(plan.registry); rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
        registryWritten = true;
        return S_OK;
    });
    if (SUCCEEDED(hr)) {
        result.ok = true;
        return result;
    }
    // The registry's batch was committed before the contacts' transaction
    // failed to: put the product key back as it was.
    if (registryWritten && handset::applyRegOperations(plan.undoRegistry) != ERROR_SUCCESS)
        result.undone = false;
    files.undo();
    result.error = "the settings could not be stored (error 0x" + [&] {
        char code[16];
        std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(hr));
        return std::string(code);
    }() + ")";
    return result;
}

}  // namespace tonquil::backup
