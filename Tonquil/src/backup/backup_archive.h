// The backup file: a gzip-compressed tar archive (libarchive) whose first
// member is the manifest (backup_format.h), followed by the tone files it
// lists. Reading checks all of it, and refuses hostile or damaged files as
// a whole, before a caller changes anything.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backup_format.h"

namespace tonquil::backup {

// What a backup file holds, read whole.
struct BackupContents {
    Manifest manifest;
    std::vector<std::string> toneData;  // the bytes of manifest.toneFiles[i]
};

struct [[nodiscard]] ReadBackupResult {
    std::optional<BackupContents> contents;
    std::string error;  // for people: why the file is refused

    bool ok() const { return contents.has_value(); }
};

// Reads a backup from its bytes. Refused: what is no such archive or whose
// first member is no manifest, a file cut short or damaged, member names
// that are absolute or hold "..", links and anything else that is not a
// plain file, members the manifest does not list (or listed but absent, or
// of another size), more members or bytes than the limits allow, and every
// manifest fault parseManifest finds. Touches nothing.
ReadBackupResult readBackupArchive(std::string_view bytes);

// As readBackupArchive, for a file of the device (at most kMaxArchiveBytes).
ReadBackupResult readBackupFile(std::u16string_view devicePath);

// Writes the archive to a temporary file beside `devicePath` and renames it
// into place, so that the name holds a whole backup or what it held before.
// `toneData` holds the bytes of manifest.toneFiles[i]. False, with the
// reason in `error`, when the file cannot be written.
[[nodiscard]] bool writeBackupFile(std::u16string_view devicePath, const Manifest& manifest,
                                   const std::vector<std::string>& toneData, std::string& error);

}  // namespace tonquil::backup
