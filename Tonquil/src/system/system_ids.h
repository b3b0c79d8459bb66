// Control ids of the System page and the caller settings dialog (their
// templates and menus are in resource.h). The dialog templates in
// resources/system.res use the same numbers, and tests find the controls by
// them.
#pragma once

#include <resource.h>

#include <tones/tone_selector.h>

namespace tonquil::ids {

// The System page: its bold title is res::IDC_SYSTEM_TITLE.
constexpr int IDC_SYSTEM_LIST = 1039;

// The caller settings dialog.
constexpr int IDC_CALLER_RING_LABEL = 1036;
constexpr int IDC_CALLER_SMS_LABEL = 1037;
constexpr ToneSlotIds kCallerRingSlot{1033, 1012, 1048};
constexpr ToneSlotIds kCallerSmsSlot{1035, 1034, 1050};

}  // namespace tonquil::ids
