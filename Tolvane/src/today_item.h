// Tolvane's Today item: a one-line window on the Today screen that shows
// the sound profile in force, cycles it with the left and right keys and
// starts the configuration application when tapped. Its window anchors the
// call ring service: the call monitor and the contacts connection live as
// long as the window.
#pragma once

#include <string>

#include <handset/today.h>

namespace tolvane {

// Library attach: keeps the instance, loads the icon at 16 logical pixels
// and (re)registers the item's window class. TRUE.
BOOL attachTodayItem(HINSTANCE instance);

// Library detach: destroys the icon, unregisters the class. TRUE.
BOOL detachTodayItem();

// The item window's procedure.
LRESULT todayItemProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The text the item shows for a selector and the scheduled profile; empty
// for a selector outside -1 to 4. A running timed profile's text ("Silent
// until 14:30"), when not empty, is shown instead.
std::u16string todayItemText(std::int32_t selector, std::int32_t scheduledProfile,
                             const std::u16string& timed = {});

}  // namespace tolvane

// The Today screen's entry into the library, exported by ordinal 240 only:
// makes the item's window as a child of hwndParent and returns it.
HWND InitializeCustomItem(TODAYLISTITEM* ptli, HWND hwndParent);
