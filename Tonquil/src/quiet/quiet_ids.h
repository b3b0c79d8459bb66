// Control ids of the "Timed profile" and "Repeated calls" dialogs (their
// templates are in resource.h). The templates in resources/quiet.res use the
// same numbers, and tests find the controls by them.
#pragma once

#include <resource.h>

namespace tonquil::ids {

// "Timed profile".
constexpr int IDC_TIMED_PROFILE = 1090;
constexpr int IDC_TIMED_LENGTH = 1091;
constexpr int IDC_TIMED_NOTE = 1092;

// "Repeated calls".
constexpr int IDC_REPEAT_ENABLED = 1093;
constexpr int IDC_REPEAT_WINDOW = 1094;
constexpr int IDC_REPEAT_PROFILE = 1095;
constexpr int IDC_REPEAT_CONTACTS_ONLY = 1096;
constexpr int IDC_REPEAT_NOTE = 1097;

}  // namespace tonquil::ids
