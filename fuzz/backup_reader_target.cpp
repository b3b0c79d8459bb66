// A settings backup, as Tonquil's restore reads it from a file anyone may
// have made: what is accepted must name only safe members and device
// paths, carry each listed tone file whole, and stay within the limits.
#include <cstdint>
#include <string_view>

#include <backup/backup_archive.h>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 1024 * 1024)
        return 0;
    using namespace tonquil::backup;
    const ReadBackupResult read = readBackupArchive({reinterpret_cast<const char*>(data), size});
    if (!read.ok()) {
        FUZZ_CHECK(!read.error.empty());
        return 0;
    }
    const Manifest& manifest = read.contents->manifest;
    FUZZ_CHECK(manifest.toneFiles.size() == read.contents->toneData.size());
    FUZZ_CHECK(manifest.toneFiles.size() < kMaxMembers);
    FUZZ_CHECK(manifest.contacts.size() <= kMaxContacts);
    for (std::size_t i = 0; i < manifest.toneFiles.size(); ++i) {
        FUZZ_CHECK(safeMemberName(manifest.toneFiles[i].member));
        FUZZ_CHECK(safeDevicePath(manifest.toneFiles[i].path));
        FUZZ_CHECK(read.contents->toneData[i].size() == manifest.toneFiles[i].size);
    }
    for (const ContactSettings& contact : manifest.contacts)
        for (const auto* tone : {&contact.ringTone, &contact.smsTone})
            FUZZ_CHECK(!*tone || (*tone)->empty() || safeDevicePath(**tone));
    for (const RegistryKey& key : manifest.registry) {
        // Below the product key: no empty, "." or ".." component.
        const std::u16string path = u"\\" + key.path + u"\\";
        FUZZ_CHECK(key.path.empty() || (path.find(u"\\\\") == std::u16string::npos &&
                                        path.find(u"\\..\\") == std::u16string::npos &&
                                        path.find(u"\\.\\") == std::u16string::npos));
    }
    // What was read writes back to a manifest that reads the same.
    const ManifestResult again = parseManifest(writeManifest(manifest));
    FUZZ_CHECK(again.ok() && *again.manifest == manifest);
    return 0;
}
