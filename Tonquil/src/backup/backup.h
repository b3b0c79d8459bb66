// Backing the settings up: everything under the product key, every
// contact's tone settings keyed by its numbers and names, and, when asked,
// each tone file they name that the phone has.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <handset/pimstore.h>

#include "backup_archive.h"

namespace tonquil::backup {

enum class ToneFiles { Include, Leave };

// The default place and name of a backup, and the format's extension.
inline constexpr char16_t kBackupExtension[] = u"tqb";
inline constexpr char16_t kDefaultBackupPath[] = u"\\My Documents\\Tonquil Backup.tqb";

struct [[nodiscard]] CollectResult {
    bool ok = false;
    std::string error;
    Manifest manifest;
    std::vector<std::string> toneData;       // the bytes of manifest.toneFiles[i]
    std::vector<std::u16string> missingTones;  // assigned, but the phone lacks the file
};

// Reads the phone's settings into a manifest (and the tone files' bytes).
CollectResult collectSettings(IPOutlookApp2* contacts, ToneFiles toneFiles);

struct [[nodiscard]] BackupReport {
    bool ok = false;
    std::string error;  // for people
    std::size_t contacts = 0;
    std::size_t keys = 0;
    std::size_t toneFiles = 0;
    std::vector<std::u16string> missingTones;
};

// Collects and writes the backup to `devicePath` (backup_archive.h).
BackupReport backUpSettings(IPOutlookApp2* contacts, std::u16string_view devicePath, ToneFiles toneFiles);

// The tone paths the settings name: registry tone values, then the
// contacts' ring and SMS tones; each once (ignoring case), in that order.
std::vector<std::u16string> assignedTones(const Manifest& manifest);

}  // namespace tonquil::backup
