// Kept in a file of its own: the message box header and the UI framework's
// header both name the dialog results, and only one of them may be seen here.
#include "schedule_full_notice.h"

#include <handset/msgbox.h>

#include "schedule_list.h"

namespace tonquil {

void tellScheduleFull(HWND owner)
{
    MessageBox(owner, kScheduleFullMessage, u"Profile schedule", MB_OK | MB_ICONINFORMATION);
}

}  // namespace tonquil
