// The quiet-hours dialogs of the sheet's menus: "Timed profile" starts a
// profile that ends by itself, "Repeated calls" lets a caller who tries
// again get through a silent profile. OK stores the choice at once (the
// services read it at their next call); Cancel writes nothing.
#pragma once

#include <handset/ui.h>

namespace tonquil {

class CTimedProfileDialog : public CDialog {
public:
    explicit CTimedProfileDialog(CWnd* pParent);

    // The menu bar and the choices: the running timed profile's profile,
    // else Silent, for one hour.
    BOOL OnInitDialog() override;
    // Starts the chosen profile now, for the chosen time.
    void OnOK() override;
};

class CRepeatedCallsDialog : public CDialog {
public:
    explicit CRepeatedCallsDialog(CWnd* pParent);

    // The menu bar and the stored settings.
    BOOL OnInitDialog() override;
    // Stores what the dialog shows.
    void OnOK() override;
};

}  // namespace tonquil
