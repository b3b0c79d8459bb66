// The SMS tone service's decision for one text message: who sent it, which
// tone and priority apply, how the phone's own SMS notification is set, and
// whether the tone player is started.
//
// Each step is a plain function so that it can be tried on its own; the
// mail rule client (mail_rule_client.h) runs them in order for every
// message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <handset/pimstore.h>
#include <settings/settings.h>

namespace smeldry {

// What one message decided. It stays in the rule client until the next
// message, so a message that cannot be read is alerted with the last one's
// state. A fresh state is silent: priority Normal, no tone, the player's
// turn, an all-zero profile.
struct DecisionState {
    std::uint16_t priority = settings::PriorityNormal;
    settings::TonePath tone;           // empty: no tone
    settings::ProfileRecord profile;   // only smsVolume, vibrateSms, displaySms count here
    bool notificationPlays = false;    // the system's notification plays a MIDI tone; no player

    friend bool operator==(const DecisionState&, const DecisionState&) = default;
};

// The key a sender's address is looked up with: the text between the last
// "<" and the closing character, without a leading "+" ("Anna <+49151>"
// gives "49151"); an address without "<" is the key as it stands.
std::u16string lookupKey(std::u16string_view address);

// Whether a stored phone number belongs to the sender with that key: the
// last five characters of the key and of the number's digits must agree,
// and both need at least five.
bool senderMatches(std::u16string_view key, std::u16string_view storedNumber);

// The contact the sender's key names, or null; the caller releases it.
IItem* findSenderContact(IPOutlookApp* contacts, const std::u16string& key);

// Whether the path names a MIDI file (".mid" or ".midi", in any case).
bool isMidiTone(std::u16string_view path);

// Hands a MIDI tone to the system's notification when the phone's SMS
// notification class can play one: it becomes the class's "Wave" and the
// sound settings are reloaded. True when the tone was taken.
bool offerToNotification(const settings::TonePath& candidate);

// Resets the state, then decides tone and priority for the sender with
// `key` (contacts may be null: no contact matches) and writes the
// notification settings for them.
void decide(IPOutlookApp* contacts, const std::u16string& key, DecisionState& state);

// Writes "Wave", "Options" and the vibrate values of the SMS notification
// class for the decided priority, loading the profile the priority calls
// for into `state.profile`.
void applyNotificationSettings(DecisionState& state);

// Reads the profile in force for a text message at the device's local time
// (the schedule's first entry holds from midnight) over `profile`, which is
// not cleared first, as the product does on purpose: a missing profile key
// leaves the previous message's values, and a read that stops at a missing
// or damaged value leaves that field and the later ones as they were. A new
// rule client starts from an all-zero profile, so its first message is
// silent rather than undefined.
void loadProfileInForce(settings::ProfileRecord& profile);

// The player's device path: "InstallDir" and "\plimsey.exe".
std::u16string playerPath();

// The alert's last step: unless the notification plays the tone, starts the
// player with the tone path as its whole command line (empty when the
// message is to be silent) and does not wait for it.
void startPlayer(DecisionState& state);

}  // namespace smeldry
