// The soft-key menu bar of a page or dialog, from one of the program's MENU
// resources.
#pragma once

#include <handset/ui.h>

namespace tonquil {

// Makes the bar of MENU resource `menuId` for `owner`; the bar, or null when
// it could not be made.
HWND createMenuBar(CWnd& owner, UINT menuId);

}  // namespace tonquil
