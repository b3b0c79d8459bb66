// "Back Up Settings..." and "Restore Settings..." of the sheet's menu: the
// questions, pickers and messages around backup.h and restore.h.
#pragma once

#include <handset/pimstore.h>
#include <handset/ui.h>

namespace tonquil {

// Asks where (the save-as picker) and whether to include the tone files,
// writes the backup and says how it went. `contacts`: the logged-on contacts
// application (the application's slot by default), for both commands.
void backUpSettingsCommand(CWnd* owner, IPOutlookApp2* contacts = nullptr);

// Asks for a backup (the file-open picker), checks all of it, shows what it
// will change and applies it on OK. Says why when it cannot.
void restoreSettingsCommand(CWnd* owner, IPOutlookApp2* contacts = nullptr);

}  // namespace tonquil
