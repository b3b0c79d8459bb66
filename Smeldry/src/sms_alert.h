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
#include <settings/explain.h>
#include <settings/settings.h>
#include <settings/sms.h>

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

// Who sent the message and the five-digit rule are the settings library's,
// shared with the configuration application's test of a message.
using settings::findSenderContact;
using settings::lookupKey;
using settings::senderMatches;

using settings::isMidiPath;

// Hands a MIDI tone to the system's notification when the phone's SMS
// notification class can play one: it becomes the class's "Wave" and the
// sound settings are reloaded. True when the tone was taken.
bool offerToNotification(const settings::TonePath& candidate);

// Resets the state, then decides tone and priority for the sender with
// `key` (contacts may be null: no contact matches) and writes the
// notification settings for them. With `why`, the reasons for the choice.
void decide(IPOutlookApp* contacts, const std::u16string& key, DecisionState& state,
            settings::Explanation* why = nullptr);

// Writes "Wave", "Options" and the vibrate values of the SMS notification
// class for the decided priority, loading the profile the priority calls
// for into `state.profile` (settings::readSmsProfile).
void applyNotificationSettings(DecisionState& state, settings::ProfileChoice* why = nullptr);

// The player's device path: "InstallDir" and "\plimsey.exe".
std::u16string playerPath();

// The alert's last step: unless the notification plays the tone, starts the
// player with the tone path as its whole command line (empty when the
// message is to be silent) and does not wait for it.
void startPlayer(DecisionState& state);

}  // namespace smeldry
