// The application object: the start sequence, the contacts application
// slot, the main sheet, and the end sequence.
#pragma once

#include <handset/pimstore.h>
#include <handset/ui.h>

namespace tonquil {

class CTonquilApp : public CWinApp {
public:
    // Runs the whole program: readies the shell's controls, switches the
    // Today item on and has the Today screen reload, starts COM and the
    // contacts application, runs the main sheet until it ends, then logs
    // off and shuts COM down. FALSE: no message loop is to run.
    BOOL InitInstance() override;
};

// The process-wide contacts application slot: the logged-on contacts
// application while the sheet runs, null when it could not be created.
// Its users never release it; the application does, after the sheet.
IPOutlookApp2* contactsApplication();

}  // namespace tonquil
