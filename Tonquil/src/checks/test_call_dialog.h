// "Test a Call": the user types a number or picks a contact and sees, for a
// call and for a text message from it, the tone, the profile and the
// reasons, as the ring and SMS services would decide them now. Nothing is
// written and the phone does not ring.
#pragma once

#include <string>
#include <vector>

#include <handset/pimstore.h>
#include <handset/ui.h>

#include <contacts/contact_entries.h>

namespace tonquil {

class CTestCallDialog : public CDialog {
public:
    // `contacts`: the logged-on contacts application (the application's slot by default).
    explicit CTestCallDialog(CWnd* pParent, IPOutlookApp2* contacts = nullptr);

    // The menu bar, the contacts in the combo box, and the answer for no
    // caller ID (the number is empty).
    BOOL OnInitDialog() override;
    // A typed number or a chosen contact shows its answer at once.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

private:
    void contactChosen();
    void showAnswer();

    IPOutlookApp2* m_contacts;
    std::vector<ContactEntry> m_entries;  // the combo box's item data indexes these
    bool m_settingNumber = false;         // the number is being set from a chosen contact
    CFont m_boldFont;
};

}  // namespace tonquil
