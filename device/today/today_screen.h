// The Today screen: its window, its items and the Today protocol it speaks
// to the items' windows.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <handset/today.h>

namespace today {

// Messages of the Today screen's own window.
constexpr UINT WM_TODAY_REQUEST = WM_APP + 1;  // lParam: a Request* (the window deletes it)
constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshPeriod = 2000;  // milliseconds

// Makes the Today screen's window (240 x 320) and loads the items.
HWND createTodayScreen();

// The answer to one request line of today_protocol.h, made on the window's thread.
std::string answer(const std::string& request);

// Taps the item at (x, y) of the screen, if there is one there.
void tapAt(int x, int y);

// Unloads the items and destroys the window.
void closeTodayScreen();

}  // namespace today
