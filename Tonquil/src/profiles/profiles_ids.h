// Control ids of the Profiles page, the profile settings dialog and the
// schedule settings dialog (their templates and menus are in resource.h).
// They are the program's resource design: the dialog templates in
// resources/profiles.res use the same numbers, and tests find the controls
// by them.
#pragma once

#include <resource.h>

namespace tonquil::ids {

// The Profiles page.
constexpr unsigned IDC_PROFILE_COMBO = 1014;           // also the dialogs' first combo box
constexpr unsigned IDC_CHANGE_SETTINGS = 1056;
constexpr unsigned IDC_SCHEDULE_SETTINGS = 1057;
constexpr unsigned IDC_SELECT_PROFILE_LABEL = 1060;
constexpr unsigned IDC_SCHEDULE_GROUP = 1061;
constexpr unsigned IDC_PROFILE_SETTINGS_GROUP = 1065;

// The profile settings dialog: one drop-down list per record field.
constexpr unsigned IDC_CALL_VOLUME = 1014;
constexpr unsigned IDC_VIBRATE_CALL = 1015;
constexpr unsigned IDC_ANNOUNCE_CALL = 1016;  // created hidden, with its label
constexpr unsigned IDC_INCREASING_RING = 1017;
constexpr unsigned IDC_VIBRATE_BEFORE_RING = 1018;
constexpr unsigned IDC_SMS_SOUND = 1019;
constexpr unsigned IDC_DISPLAY_SMS = 1020;
constexpr unsigned IDC_VIBRATE_SMS = 1021;

// The schedule settings dialog.
constexpr unsigned IDC_SCHEDULE_PROFILE = 1014;
constexpr unsigned IDC_SCHEDULE_LIST = 1022;
constexpr unsigned IDC_SCHEDULE_TIME = 1023;
constexpr unsigned IDC_SCHEDULE_ADD = 1024;
constexpr unsigned IDC_SCHEDULE_REMOVE = 1012;
constexpr unsigned IDC_NEW_SCHEDULE_GROUP = 1058;
constexpr unsigned IDC_SCHEDULE_LIST_LABEL = 1059;

}  // namespace tonquil::ids
