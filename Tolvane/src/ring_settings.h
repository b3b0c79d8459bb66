// The call ring service's half of a call: writing the decision for the
// caller into the phone's ring settings, so that the phone rings with them.
#pragma once

#include <string>

#include <handset/pimstore.h>
#include <settings/settings.h>

namespace tolvane {

// The ring script for a profile record: empty when muted. Never longer than
// 255 characters, whatever the record holds.
std::u16string buildRingScript(const settings::ProfileRecord& record, bool mute);

// What a call leaves in the phone's ring settings.
struct RingSettings {
    DWORD volume = 0;
    std::u16string tone;
    std::u16string script;
};

// Writes the ring volume, then tone and script into each ring key the phone
// has (opened, never created), as one registry transaction, then has the
// audio system reload them. Each write still stands alone: a key the phone
// lacks is skipped, and a write that fails leaves the others written.
void writeRingSettings(const RingSettings& ring);

// Resolves the caller (null or empty: no caller ID) and writes tone, script
// and volume into the phone's ring keys with writeRingSettings. Nothing is
// reported back.
void applyRingSettings(IPOutlookApp* contacts, const WCHAR* callerId);

}  // namespace tolvane
