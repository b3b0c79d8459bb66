#include "sms_alert.h"

#include <handset/audio.h>
#include <handset/clock.h>
#include <handset/com_ptr.h>
#include <handset/mapi.h>
#include <handset/reg_key.h>
#include <handset/shell.h>
#include <settings/caller.h>

namespace smeldry {

namespace {

// The sound the notification is left with when the player plays the tone
// (its sound bit is then off): a MIDI file of the phone's own where the
// class can play one, else the name of the default sound.
constexpr const WCHAR* kWaveWithMidi = u"\\Windows\\Alarm Triangle.mid";
constexpr const WCHAR* kWaveWithoutMidi = u"notify";

// The SMS notification class's key, opened for reading and writing; empty
// when the phone has none.
handset::RegKey openNotificationKey()
{
    handset::RegKey key;
    RegOpenKeyEx(HKEY_CURRENT_USER, kSmsNotificationClassKey, 0, KEY_READ | KEY_WRITE, key.out());
    return key;
}

// Whether the value exists, whatever its type and content.
bool hasValue(const handset::RegKey& key, const WCHAR* name)
{
    DWORD type = 0, size = 0;
    return RegQueryValueEx(key.get(), name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
}

bool readDword(const handset::RegKey& key, const WCHAR* name, DWORD& value)
{
    DWORD type = 0, size = sizeof value, read = 0;
    if (RegQueryValueEx(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&read), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof read)
        return false;
    value = read;
    return true;
}

void writeDword(const handset::RegKey& key, const WCHAR* name, DWORD value)
{
    RegSetValueEx(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void writeString(const handset::RegKey& key, const WCHAR* name, const std::u16string& text)
{
    RegSetValueEx(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                  static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

// The candidate tone goes to the system's notification when it can play
// it, else it is kept for the player.
void takeTone(DecisionState& state, const settings::TonePath& candidate)
{
    state.notificationPlays = offerToNotification(candidate);
    state.tone = candidate;
}

}  // namespace

bool offerToNotification(const settings::TonePath& candidate)
{
    const handset::RegKey notification = openNotificationKey();
    if (!notification) {
        AudioUpdateFromRegistry();
        return false;
    }
    // Only phones whose class knows "VibrateWithRingerOff" play a MIDI
    // notification sound.
    if (!hasValue(notification, u"VibrateWithRingerOff") || !isMidiPath(candidate))
        return false;
    writeString(notification, u"Wave", candidate);
    AudioUpdateFromRegistry();
    return true;
}

void decide(IPOutlookApp* contacts, const std::u16string& key, DecisionState& state, settings::Explanation* why)
{
    // Nothing of the previous message's choice carries over.
    state.priority = settings::PriorityNormal;
    state.notificationPlays = false;
    state.tone.clear();

    const settings::SmsChoice choice = settings::chooseSmsAlert(contacts, key, why);
    state.priority = choice.priority;
    takeTone(state, choice.tone);
    applyNotificationSettings(state, why ? &why->profile : nullptr);
}

void applyNotificationSettings(DecisionState& state, settings::ProfileChoice* why)
{
    const handset::RegKey notification = openNotificationKey();
    const bool canPlayMidi = notification && hasValue(notification, u"VibrateWithRingerOff");

    // When the player plays the tone, the notification itself must not
    // sound it a second time: its sound is replaced and switched off.
    if (!state.notificationPlays && notification) {
        writeString(notification, u"Wave", canPlayMidi ? kWaveWithMidi : kWaveWithoutMidi);
        AudioUpdateFromRegistry();
    }

    bool sound = false, vibrate = false, display = false;
    settings::readSmsProfile(state.priority, state.profile, why);
    if (state.priority != settings::PriorityMute) {
        sound = state.notificationPlays && state.profile.smsVolume != 0;
        vibrate = state.profile.vibrateSms != 0;
        display = state.profile.displaySms != 0;
    }

    if (!notification)
        return;
    DWORD options = 0;
    if (readDword(notification, u"Options", options)) {
        options &= ~(NOTIFICATION_OPTION_SOUND | NOTIFICATION_OPTION_VIBRATE | NOTIFICATION_OPTION_DISPLAY);
        if (sound)
            options |= NOTIFICATION_OPTION_SOUND;
        if (vibrate)
            options |= NOTIFICATION_OPTION_VIBRATE;
        if (display)
            options |= NOTIFICATION_OPTION_DISPLAY;
        writeDword(notification, u"Options", options);
    }
    if (hasValue(notification, u"VibrateWithRingerOff")) {
        writeDword(notification, u"VibrateWithRingerOff", vibrate ? 1 : 0);
        writeDword(notification, u"VibrateWithRingerOn", vibrate ? 1 : 0);
    }
}

std::u16string playerPath()
{
    return settings::readInstallDir() + u"\\plimsey.exe";
}

void startPlayer(DecisionState& state)
{
    if (state.notificationPlays)
        return;
    if (state.profile.smsVolume == 0 || state.priority == settings::PriorityMute)
        state.tone.clear();

    // The player is started and forgotten: the message is not held up while
    // a tone plays, and a player that cannot start is no reason to fail it.
    const std::u16string player = playerPath();
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpVerb = nullptr;
    info.lpFile = player.c_str();
    info.lpParameters = state.tone.c_str();
    info.nShow = SW_SHOWNORMAL;
    (void)ShellExecuteEx(&info);
}

}  // namespace smeldry
