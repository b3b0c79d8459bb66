#include "backup.h"

#include <cstdio>
#include <set>

#include <handset/device.h>
#include <handset/host_file.h>
#include <handset/clock.h>
#include <handset/wstring.h>

#include <settings/explain.h>

#include "phone_settings.h"

namespace tonquil::backup {
namespace {

// A member name for a tone file: its own name, with what a member name may
// not hold replaced, under a folder of its own number so names never clash.
std::string toneMember(std::size_t number, const std::u16string& path)
{
    std::string name = handset::toUtf8(path.substr(path.find_last_of(u'\\') + 1));
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == '/' || c == '\\' || c == ':')
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name = "tone";
    return "tones/" + std::to_string(number) + "/" + name;
}

std::string deviceTimestamp()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour,
                  now.wMinute, now.wSecond);
    return text;
}

}  // namespace

std::vector<std::u16string> assignedTones(const Manifest& manifest)
{
    std::vector<std::u16string> tones;
    std::set<std::u16string> seen;
    auto add = [&](const std::u16string& tone) {
        if (!tone.empty() && seen.insert(handset::foldCase(tone)).second)
            tones.push_back(tone);
    };
    for (const RegistryKey& key : manifest.registry)
        for (const handset::RegValue& value : key.values)
            if (isToneValue(value))
                add(toneValueText(value));
    for (const ContactSettings& contact : manifest.contacts) {
        add(contact.ringTone.value_or(u""));
        add(contact.smsTone.value_or(u""));
    }
    return tones;
}

CollectResult collectSettings(IPOutlookApp2* contacts, ToneFiles toneFiles)
{
    CollectResult result;
    result.manifest.created = deviceTimestamp();
    if (!readProductKey(result.manifest.registry)) {
        result.error = "Tonquil's settings could not be read from the registry";
        return result;
    }
    std::vector<PhoneContact> phone;
    if (!readPhoneContacts(contacts, phone)) {
        result.error = "the contacts could not be read";
        return result;
    }
    for (PhoneContact& contact : phone)
        if (hasSettings(contact.settings))
            result.manifest.contacts.push_back(std::move(contact.settings));

    std::uint64_t total = 0;
    for (const std::u16string& tone : assignedTones(result.manifest)) {
        if (settings::toneFileMissing(tone)) {
            result.missingTones.push_back(tone);
            continue;
        }
        if (toneFiles == ToneFiles::Leave)
            continue;
        const std::optional<std::filesystem::path> host = handset::mapDevicePath(tone);
        std::optional<std::string> bytes = host ? handset::readHostFile(*host) : std::nullopt;
        if (!bytes) {
            result.error = "the tone file \"" + handset::toUtf8(tone) + "\" could not be read";
            return result;
        }
        if (bytes->size() > kMaxToneFileBytes ||
            result.manifest.toneFiles.size() + 1 > kMaxMembers - 1 || (total += bytes->size()) > kMaxToneBytes) {
            result.error = "the tone files are more than a backup holds (at most " + std::to_string(kMaxMembers - 1) +
                           " files of at most " + std::to_string(kMaxToneFileBytes >> 20) + " MB, " +
                           std::to_string(kMaxToneBytes >> 20) + " MB together); back up without them";
            return result;
        }
        result.manifest.toneFiles.push_back({tone, toneMember(result.manifest.toneFiles.size() + 1, tone),
                                             static_cast<std::uint64_t>(bytes->size())});
        result.toneData.push_back(std::move(*bytes));
    }
    result.ok = true;
    return result;
}

BackupReport backUpSettings(IPOutlookApp2* contacts, std::u16string_view devicePath, ToneFiles toneFiles)
{
    BackupReport report;
    CollectResult collected = collectSettings(contacts, toneFiles);
    if (!collected.ok) {
        report.error = collected.error;
        return report;
    }
    if (!writeBackupFile(devicePath, collected.manifest, collected.toneData, report.error))
        return report;
    report.ok = true;
    report.contacts = collected.manifest.contacts.size();
    report.keys = collected.manifest.registry.size();
    report.toneFiles = collected.manifest.toneFiles.size();
    report.missingTones = std::move(collected.missingTones);
    return report;
}

}  // namespace tonquil::backup
