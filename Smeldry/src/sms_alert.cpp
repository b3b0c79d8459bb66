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

constexpr std::size_t kTailLength = 5;

// The sound the notification is left with when the player plays the tone
// (its sound bit is then off): a MIDI file of the phone's own where the
// class can play one, else the name of the default sound.
constexpr const WCHAR* kWaveWithMidi = u"\\Windows\\Alarm Triangle.mid";
constexpr const WCHAR* kWaveWithoutMidi = u"notify";

constexpr const WCHAR* kSmsToneName = u"SMSRingTones";

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

bool endsWithNoCase(std::u16string_view text, std::u16string_view suffix)
{
    if (text.size() < suffix.size())
        return false;
    const std::u16string_view tail = text.substr(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char16_t c = tail[i];
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// The candidate tone goes to the system's notification when it can play
// it, else it is kept for the player.
void takeTone(DecisionState& state, const settings::TonePath& candidate)
{
    state.notificationPlays = offerToNotification(candidate);
    state.tone = candidate;
}

}  // namespace

std::u16string lookupKey(std::u16string_view address)
{
    if (address.empty())
        return {};
    // The closing character (">" in "Name <number>") is never part of the
    // key, so the search for "<" starts just before it.
    const std::u16string_view searched = address.substr(0, address.size() - 1);
    const std::size_t open = searched.rfind(u'<');
    if (open == std::u16string_view::npos)
        return std::u16string(address);
    std::u16string_view key = searched.substr(open + 1);
    if (!key.empty() && key.front() == u'+')
        key.remove_prefix(1);
    return std::u16string(key);
}

bool senderMatches(std::u16string_view key, std::u16string_view storedNumber)
{
    const std::u16string digits = settings::digitsOf(storedNumber);
    if (key.size() < kTailLength || digits.size() < kTailLength)
        return false;
    return key.substr(key.size() - kTailLength) == std::u16string_view(digits).substr(digits.size() - kTailLength);
}

IItem* findSenderContact(IPOutlookApp* contacts, const std::u16string& key)
{
    if (!contacts)
        return nullptr;
    IItem* found = nullptr;
    CEPROPID matched = 0;
    if (FindMatchingContact(contacts, key.c_str(), FMCF_FINDPHONE, &found, &matched) != S_OK || !found)
        return nullptr;
    handset::ComPtr<IItem> contact(found);
    // The number as the contact stores it; one that cannot be read is empty
    // and matches nothing.
    if (!senderMatches(key, settings::readContactString(contact.get(), matched)))
        return nullptr;
    return contact.detach();
}

bool isMidiTone(std::u16string_view path)
{
    return endsWithNoCase(path, u".mid") || endsWithNoCase(path, u".midi");
}

bool offerToNotification(const settings::TonePath& candidate)
{
    const handset::RegKey notification = openNotificationKey();
    if (!notification) {
        AudioUpdateFromRegistry();
        return false;
    }
    // Only phones whose class knows "VibrateWithRingerOff" play a MIDI
    // notification sound.
    if (!hasValue(notification, u"VibrateWithRingerOff") || !isMidiTone(candidate))
        return false;
    writeString(notification, u"Wave", candidate);
    AudioUpdateFromRegistry();
    return true;
}

void loadProfileInForce(settings::ProfileRecord& profile)
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    // A missing profile key leaves the previous message's values in place,
    // and a read that stops at a damaged value keeps the later fields; a new
    // client starts from zeros, so even its first message is well defined.
    (void)settings::readProfile(settings::profileInForceSms(now), profile);
}

void decide(IPOutlookApp* contacts, const std::u16string& key, DecisionState& state)
{
    // Nothing of the previous message's choice carries over.
    state.priority = settings::PriorityNormal;
    state.notificationPlays = false;
    state.tone.clear();

    // A contact: its priority, else its category's; its tone, else its
    // category's.
    if (handset::ComPtr<IItem> contact(findSenderContact(contacts, key)); contact.get()) {
        const std::u16string category =
            settings::firstCategory(settings::readContactString(contact.get(), PIMPR_CATEGORIES));
        std::uint16_t priority = settings::readContactPriority(contacts, contact.get());
        // An explicit Normal, too, gives way to the category's VIP or Mute.
        if (priority != settings::PriorityVip && priority != settings::PriorityMute)
            priority = category.empty() ? std::uint16_t{settings::PriorityNormal} : settings::readCategoryPriority(category);
        state.priority = priority;

        const CEPROPID smsTone = settings::namedContactProperty(contacts, kSmsToneName, CEVT_LPWSTR);
        const settings::TonePath own =
            smsTone == PIMPR_INVALID_ID ? settings::TonePath{} : settings::readContactString(contact.get(), smsTone);
        if (!own.empty()) {
            takeTone(state, own);
        } else if (!category.empty()) {
            settings::TonePath categoryTone;
            settings::readCategorySmsTone(category, categoryTone);
            if (!categoryTone.empty())
                takeTone(state, categoryTone);
        }
    }

    // Every sender without a tone of their own or of their category gets
    // the unknown callers' SMS tone, known contacts included.
    if (state.tone.empty()) {
        settings::TonePath fallback;
        settings::readClassSmsTone(settings::UnknownCaller, fallback);
        takeTone(state, fallback);
    }

    // A priority no dialog offers (a damaged category value) counts as
    // Normal, as it does for calls: the message then follows the profile in
    // force instead of whatever an earlier message left behind.
    if (state.priority > settings::PriorityMute)
        state.priority = settings::PriorityNormal;

    applyNotificationSettings(state);
}

void applyNotificationSettings(DecisionState& state)
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
    switch (state.priority) {
    case settings::PriorityVip:
        (void)settings::readVipProfile(state.profile);
        break;
    case settings::PriorityMute:
        break;
    default:
        loadProfileInForce(state.profile);
        break;
    }
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
