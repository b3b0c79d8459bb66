// The text message side of caller classification: who sent a message, and
// which SMS tone, priority and profile it gets. The SMS tone service acts on
// the choice; the configuration application shows it without acting.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <handset/pimstore.h>

#include <settings/explain.h>
#include <settings/settings.h>

namespace settings {

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

struct SmsChoice {
    TonePath tone;                          // empty: no tone anywhere
    std::uint16_t priority = PriorityNormal;  // Normal, VIP or Mute

    friend bool operator==(const SmsChoice&, const SmsChoice&) = default;
};

// The tone and priority for a message from the sender with `key` (contacts
// may be null: no contact matches). Reads only. With `why`, the reasons
// too; its profile part is filled by readSmsProfile.
SmsChoice chooseSmsAlert(IPOutlookApp* contacts, const std::u16string& key, Explanation* why = nullptr);

// Reads the profile a message of `priority` follows over `profile`: the VIP
// profile for VIP, nothing for Mute, else the profile in force at the
// device's local time, the same one a call rings with. The record is not cleared first, as the product does on
// purpose: a missing profile key leaves the previous message's values, and
// a read that stops at a missing or damaged value leaves that field and the
// later ones as they were.
void readSmsProfile(std::uint16_t priority, ProfileRecord& profile, ProfileChoice* why = nullptr);

}  // namespace settings
