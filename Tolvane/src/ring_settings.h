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

// Resolves the caller (null or empty: no caller ID) and writes tone, script
// and volume into the phone's ring keys, then has the audio system reload
// them. Keys the phone lacks are skipped; nothing is reported back.
void applyRingSettings(IPOutlookApp* contacts, const WCHAR* callerId);

}  // namespace tolvane
