// The message the schedule editor gives when Add would make a 26th time.
#pragma once

#include <handset/window.h>

namespace tonquil {

// Shows the message, owned by `owner`, and waits for the user's OK.
void tellScheduleFull(HWND owner);

}  // namespace tonquil
