// The call screen's resources (phone.res) and messages.
#pragma once

#include <handset/ui.h>

namespace phone::ids {

constexpr UINT IDD_CALL_SCREEN = 200;
constexpr UINT IDR_MENU_RINGING = 201;
constexpr UINT IDR_MENU_CONNECTED = 202;

constexpr int IDC_CALL_STATE = 1001;
constexpr int IDC_CALLER_PICTURE = 1002;
constexpr int IDC_CALLER_NAME = 1003;
constexpr int IDC_CALLER_NUMBER = 1004;

constexpr UINT ID_ANSWER = 40001;
constexpr UINT ID_IGNORE = 40002;
constexpr UINT ID_END = 40003;

// Posted by the thread that follows the call.
constexpr UINT WM_CALL_CONNECTED = WM_APP + 1;
constexpr UINT WM_CALL_ENDED = WM_APP + 2;

}  // namespace phone::ids
