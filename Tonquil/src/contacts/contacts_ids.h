// Control ids of the Contacts page and the contact settings dialog (their
// templates and menu are in resource.h). resources/contacts.res uses the
// same numbers, and tests find the controls by them.
#pragma once

#include <resource.h>

#include <tones/tone_selector.h>

namespace tonquil::ids {

// The Contacts page: its bold title is res::IDC_CONTACTS_TITLE.
constexpr int IDC_CONTACTS_LIST = 1026;
constexpr int IDC_CONTACTS_SEARCH = 1044;

// The contact settings dialog.
constexpr ToneSlotIds kContactRingSlot{1012, 1047, 1048};
constexpr ToneSlotIds kContactSmsSlot{1034, 1049, 1050};
constexpr int IDC_CONTACT_PRIORITY = 1014;
constexpr int IDC_CONTACT_CATEGORY = 1015;
constexpr int IDC_CONTACT_PICTURE = 1046;

}  // namespace tonquil::ids
