// Restoring a backup: what it would change on this phone (planned without
// changing anything, for the person to confirm), then all of it or nothing.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <handset/pimstore.h>
#include <handset/regfile.h>

#include "backup_archive.h"

namespace tonquil::backup {

// A tone file of the backup and where it goes.
struct TonePlacement {
    std::size_t file = 0;   // index into the manifest's tone files
    std::u16string target;  // its path on this phone
    bool write = true;      // false: the same file is already there
};

struct RestorePlan {
    BackupContents contents;
    // Backup contact (index) -> the phone's contact (object id).
    std::vector<std::pair<std::size_t, ULONG>> matches;
    std::vector<std::u16string> unmatched;  // backup contacts this phone lacks
    std::vector<std::u16string> ambiguous;  // backup contacts more than one contact could be
    std::vector<TonePlacement> tones;
    std::vector<std::pair<std::u16string, std::u16string>> renamed;  // path in the backup -> path here
    std::vector<std::u16string> missingTones;  // named, in neither the backup nor this phone
    std::size_t categories = 0;
    std::size_t classes = 0;
    // The product key as the backup has it (tone paths renamed, this phone's
    // "InstallDir" kept), and as it is now, to put back after a failure.
    std::vector<handset::RegOperation> registry;
    std::vector<handset::RegOperation> undoRegistry;

    // The path a tone of the backup has on this phone.
    std::u16string tonePath(const std::u16string& path) const;
};

struct [[nodiscard]] PlanResult {
    std::optional<RestorePlan> plan;
    std::string error;

    bool ok() const { return plan.has_value(); }
};

// Reads this phone's contacts, product key and tone files and works out
// what the backup changes. Contacts are matched by a number (digits only,
// more than four of them, equal as calls compare them), then by first
// name, last name and company ignoring case; a backup contact that could
// be several contacts, or a contact two backup contacts claim, is left out
// rather than guessed. A tone file goes back to its path; when a different
// file has that name, to "Name (2).ext" (the next free number), and the
// settings name it there. Changes nothing.
PlanResult planRestore(IPOutlookApp2* contacts, BackupContents contents);

// What the person is asked before anything changes.
std::u16string restoreSummary(const RestorePlan& plan);

struct [[nodiscard]] RestoreResult {
    bool ok = false;
    std::string error;   // for people, when not ok
    bool undone = true;  // when not ok: whether the phone is as it was
};

// Applies the plan whole: the tone files first (never over a file), then
// the contacts in one transaction of the contacts store, with the product
// key replaced in one registry batch inside it. Any failure puts back what
// was done.
RestoreResult applyRestore(IPOutlookApp2* contacts, const RestorePlan& plan);

}  // namespace tonquil::backup
