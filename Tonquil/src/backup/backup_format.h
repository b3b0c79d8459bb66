// What a settings backup holds, and its manifest: a JSON document, the
// member "manifest.json" of the backup archive (backup_archive.h).
//
// Manifest, format version 1 (every string UTF-8; device paths as the
// phone writes them, with '\'):
//
//   {
//     "format": "tonquil-backup",          always this text
//     "version": 1,                        kFormatVersion; a larger one is refused
//     "created": "2026-12-09T14:30:00",    the device's local time, for people
//     "registry": {
//       "root": "HKEY_CURRENT_USER\\Software\\Quorrel\\Tonquil",
//       "keys": [                          parents before their subkeys
//         { "path": "Profiles\\0",         below the root; "" is the root itself
//           "values": [
//             { "name": "callVolume", "type": 4, "number": 3 },           REG_DWORD
//             { "name": "Ring Tone", "type": 1, "text": "\\Windows\\Ring.wav" },  REG_SZ
//             { "name": "Schedule", "type": 3, "bytes": "BASE64" }         anything else
//           ] } ] },
//     "contacts": [
//       { "firstName": "Ann", "lastName": "Lee", "company": "",
//         "numbers": ["4915112345678"],    digits only, as calls are matched
//         "ringTone": "\\...", "smsTone": "\\...", "priority": 1, "categories": "Family,Work"
//       } ],                               a setting left out: the contact has none
//     "toneFiles": [
//       { "path": "\\My Documents\\My Ringtones\\Bell.wav", "member": "tones/1/Bell.wav", "size": 1234 } ]
//   }
//
// "type" is the registry's value type; "text" is stored with its
// terminator, "number" as 4 bytes, "bytes" exactly. Only values that read
// back as they were written take the short forms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <handset/regfile.h>

namespace tonquil::backup {

inline constexpr int kFormatVersion = 1;
inline constexpr char kFormatName[] = "tonquil-backup";
inline constexpr char kManifestMember[] = "manifest.json";

// The product key under HKEY_CURRENT_USER, and how the manifest names it.
inline constexpr char16_t kProductKey[] = u"Software\\Quorrel\\Tonquil";
inline constexpr char kProductKeyName[] = "HKEY_CURRENT_USER\\Software\\Quorrel\\Tonquil";

// What a phone could hold; a backup beyond any of these is refused as a
// whole before anything is read into the phone.
inline constexpr std::uint64_t kMaxArchiveBytes = 96ull << 20;   // the backup file
inline constexpr std::size_t kMaxMembers = 1 + 512;              // the manifest and 512 tone files
inline constexpr std::uint64_t kMaxManifestBytes = 16ull << 20;
inline constexpr std::uint64_t kMaxToneFileBytes = 16ull << 20;  // one tone file
inline constexpr std::uint64_t kMaxToneBytes = 64ull << 20;      // all tone files together
inline constexpr std::size_t kMaxContacts = 50'000;
inline constexpr std::size_t kMaxKeys = 10'000;
inline constexpr std::size_t kMaxValues = 100'000;
inline constexpr std::size_t kMaxValueBytes = 64 * 1024;
inline constexpr std::size_t kMaxPathChars = 255;  // tone paths, as the system's buffers hold them

struct RegistryKey {
    std::u16string path;  // below the product key; empty for the key itself
    std::vector<handset::RegValue> values;

    bool operator==(const RegistryKey&) const = default;
};

// One contact's settings, with what finds the contact on another phone.
// A setting that is empty (nullopt) is one the contact does not have.
struct ContactSettings {
    std::u16string firstName;
    std::u16string lastName;
    std::u16string company;
    std::vector<std::u16string> numbers;  // digits only
    std::optional<std::u16string> ringTone;
    std::optional<std::u16string> smsTone;
    std::optional<std::uint16_t> priority;
    std::optional<std::u16string> categories;

    bool operator==(const ContactSettings&) const = default;
};

struct ToneFile {
    std::u16string path;  // where it was on the phone
    std::string member;   // its member of the archive
    std::uint64_t size = 0;

    bool operator==(const ToneFile&) const = default;
};

struct Manifest {
    std::string created;
    std::vector<RegistryKey> registry;
    std::vector<ContactSettings> contacts;
    std::vector<ToneFile> toneFiles;

    bool operator==(const Manifest&) const = default;
};

// The manifest as its JSON document.
std::string writeManifest(const Manifest& manifest);

struct [[nodiscard]] ManifestResult {
    std::optional<Manifest> manifest;
    std::string error;  // for people: why the document is refused

    bool ok() const { return manifest.has_value(); }
};

// Reads and checks a manifest: the format and its version, every value's
// type, the limits above, key paths below the product key (no "..", no
// empty component), tone paths absolute and free of "..", members named
// once. Touches nothing, so it can be fed anything.
ManifestResult parseManifest(std::string_view json);

// Whether an archive member name is one a backup may have: relative,
// without "." or ".." components, backslashes or control characters.
bool safeMemberName(std::string_view name);

// Whether a device path is absolute and has no "." or ".." component.
bool safeDevicePath(std::u16string_view path);

}  // namespace tonquil::backup
