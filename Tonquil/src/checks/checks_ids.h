// Control ids of the "Test a Call" and "Check Tones" dialogs (their
// templates and menus are in resource.h). The templates in
// resources/checks.res use the same numbers, and tests find the controls by
// them.
#pragma once

#include <resource.h>

namespace tonquil::ids {

// "Test a Call".
constexpr int IDC_TEST_NUMBER = 1081;
constexpr int IDC_TEST_CONTACT = 1082;
constexpr int IDC_TEST_CALL = 1083;
constexpr int IDC_TEST_SMS = 1084;
constexpr int IDC_TEST_CALL_HEADING = 1087;
constexpr int IDC_TEST_SMS_HEADING = 1088;

// "Check Tones".
constexpr int IDC_CHECK_HEADING = 1085;
constexpr int IDC_CHECK_LIST = 1086;

}  // namespace tonquil::ids
