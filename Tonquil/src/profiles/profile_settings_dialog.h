// The profile settings dialog: the eight settings of one sound profile, or of
// the VIP profile, as drop-down lists (one of them, "Announce incoming
// call:", kept hidden), with OK and Cancel on its menu bar.
//
// The Profiles page opens it for the profile chosen in its combo box; the
// sheet's "VIP Settings" command opens it with kVipProfileIndex:
//
//     CProfileSettingsDialog dialog(this, kVipProfileIndex);
//     dialog.DoModal();
//     SHSetNavBarText(m_hWnd, u"Tonquil");
#pragma once

#include <handset/ui.h>
#include <settings/settings.h>

#include "profile_fields.h"

namespace tonquil {

class CProfileSettingsDialog : public CDialog {
public:
    // The dialog for profile `profileIndex` (0 to 4, or kVipProfileIndex for
    // the VIP profile), owned by `pParent`.
    CProfileSettingsDialog(CWnd* pParent, std::int32_t profileIndex);

    // Reads the record; when it cannot be read, returns -1 at once without
    // showing anything. Otherwise shows the dialog and, when it closes with
    // OK, writes the record back to the profile it came from (not when its
    // menu bar could not be made, so the lists never showed the record).
    // IDOK or IDCANCEL.
    INT_PTR DoModal() override;

    BOOL OnInitDialog() override;
    void OnOK() override;

    std::int32_t profileIndex() const { return m_profileIndex; }
    const settings::ProfileRecord& record() const { return m_record; }

private:
    CComboBox* combo(unsigned controlId) const;

    std::int32_t m_profileIndex;
    settings::ProfileRecord m_record;
    bool m_recordShown = false;  // the lists show the record
};

}  // namespace tonquil
