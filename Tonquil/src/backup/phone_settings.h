// Reading what a backup carries from the phone, and what a restore changes:
// the product key with everything below it, and the settings of every
// contact with what identifies the contact.
#pragma once

#include <string>
#include <vector>

#include <handset/pimstore.h>

#include "backup_format.h"

namespace tonquil::backup {

// The product key and its subkeys, parents first, read on one snapshot.
// An absent product key reads as no keys. False when a read fails.
[[nodiscard]] bool readProductKey(std::vector<RegistryKey>& keys);

// A contact of the phone with its settings.
struct PhoneContact {
    ULONG oid = 0;
    ContactSettings settings;
};

// The ids of the tone manager's named properties; PIMPR_INVALID_ID for a
// name the volume does not know yet (reading never makes one).
struct NamedIds {
    CEPROPID smsTone = PIMPR_INVALID_ID;
    CEPROPID priority = PIMPR_INVALID_ID;
};
NamedIds findNamedIds(IPOutlookApp2* contacts);
// As findNamedIds, making the names that are missing (a write).
NamedIds makeNamedIds(IPOutlookApp2* contacts);

// Every contact of the contacts folder, in its order. False when the folder
// or a contact cannot be read.
[[nodiscard]] bool readPhoneContacts(IPOutlookApp2* contacts, std::vector<PhoneContact>& out);

// Whether the contact has any setting a backup carries.
bool hasSettings(const ContactSettings& contact);

// Whether a registry value is a text naming a tone file (a device path
// ending in a sound file's extension).
bool isToneValue(const handset::RegValue& value);
std::u16string toneValueText(const handset::RegValue& value);
handset::RegValue withText(handset::RegValue value, const std::u16string& text);

}  // namespace tonquil::backup
