#include "ring_settings.h"

#include <algorithm>
#include <functional>

#include <handset/audio.h>
#include <handset/log.h>
#include <handset/pimstore_read.h>
#include <handset/registry.h>
#include <handset/registry_batch.h>
#include <settings/caller.h>
#include <settings/quiet_hours.h>

namespace tolvane {

namespace {

constexpr std::size_t kScriptCapacity = 255;

// The ring keys, in the order the phone's sound system expects them written.
constexpr const WCHAR* kRingKeys[] = {
    u"ControlPanel\\Sounds\\PlmORingTone1",
    u"ControlPanel\\Sounds\\PlmORingTone2",
    u"ControlPanel\\Sounds\\RingTone0",
};
constexpr const WCHAR* kRingVolumeKey = u"ControlPanel\\SoundCategories\\Ring";

void setString(HKEY key, const WCHAR* name, const std::u16string& text)
{
    RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                  static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

// Every write of the ring settings, each on its own: its failure is ignored
// and stops none of the others.
void writeEach(const RingSettings& ring)
{
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, kRingVolumeKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegSetValueEx(key, u"InitVol", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&ring.volume), sizeof ring.volume);
        RegCloseKey(key);
    }
    for (const WCHAR* path : kRingKeys) {
        if (RegOpenKeyEx(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            continue;
        setString(key, u"Sound", ring.tone);
        setString(key, u"Script", ring.script);
        RegCloseKey(key);
    }
}

// Runs `reads` on one registry snapshot: one read transaction for all of
// them rather than one per key opened and value read. When no snapshot can
// be taken they run on their own, so that this fails none of them.
void onOneSnapshot(const std::function<void()>& reads)
{
    bool ran = false;
    (void)handset::RegReadSnapshot([&] {
        ran = true;
        reads();
        return ERROR_SUCCESS;
    });
    if (!ran)
        reads();
}

// The same, with the contacts `reads` looks at on one snapshot of theirs.
void onOneSnapshot(IPOutlookApp* contacts, const std::function<void()>& reads)
{
    onOneSnapshot([&] {
        bool ran = false;
        if (contacts)
            (void)handset::PimReadSnapshot(contacts, [&] {
                ran = true;
                reads();
                return S_OK;
            });
        if (!ran)
            reads();
    });
}

}  // namespace

std::u16string buildRingScript(const settings::ProfileRecord& record, bool mute)
{
    if (mute)
        return {};
    std::u16string tail;
    if (record.increasingRing)
        tail += u"c50";
    tail += u"a";
    if (record.vibrateCall)
        tail += u"v0";
    tail += u"p";
    if (record.increasingRing)
        tail += u"c150";
    tail += u"w3r";

    // One "v2w2" per vibration before the ring. No writer stores more than
    // five, but a damaged value must not overrun the script: only as many
    // as fit in front of the rest are kept.
    const std::size_t fit = (kScriptCapacity - tail.size()) / 4;
    const std::size_t repeats =
        record.vibrateBeforeRing > 0 ? std::min<std::size_t>(static_cast<std::size_t>(record.vibrateBeforeRing), fit) : 0;
    std::u16string script;
    for (std::size_t i = 0; i < repeats; ++i)
        script += u"v2w2";
    return script + tail;
}

void writeRingSettings(const RingSettings& ring)
{
    // One transaction takes the writer lock and commits once for all five
    // values. The batch keeps every write that succeeded, as a failed one is
    // not reported to it; only when the batch itself cannot begin or commit
    // are the writes made again one by one, so that none depends on another.
    const LONG batch = handset::RegApplyBatch([&ring] {
        writeEach(ring);
        return ERROR_SUCCESS;
    });
    if (batch != ERROR_SUCCESS)
        writeEach(ring);

    // The phone rereads what was just written.
    onOneSnapshot(AudioUpdateFromRegistry);
}

void applyRingSettings(IPOutlookApp* contacts, const WCHAR* callerId)
{
    // Who is calling decides tone, record and mute (the call log, whether a
    // repeated call rings through a silent profile); the record the script.
    settings::Explanation why;
    settings::RingDecision decision;
    onOneSnapshot(contacts, [&] { decision = settings::resolveCallRing(contacts, callerId, &why, &settings::phoneCallLog()); });
    writeRingSettings({static_cast<DWORD>(decision.profile.callVolume), decision.tone,
                       buildRingScript(decision.profile, decision.mute)});

    // Why the phone rings as it does, once the ring no longer waits for it.
    handset::logLine("why", settings::describe("call", callerId ? std::u16string_view(callerId) : std::u16string_view(),
                                               decision.tone, settings::toneFileMissing(decision.tone), why));
}

}  // namespace tolvane
