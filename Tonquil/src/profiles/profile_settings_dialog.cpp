#include "profile_settings_dialog.h"

#include <app/menu_bar.h>

#include "profiles_ids.h"

namespace tonquil {

namespace {

// The height of each combo box with its list dropped down: enough for all
// six items of the longest list.
constexpr int kDroppedHeight = 200;

}  // namespace

CProfileSettingsDialog::CProfileSettingsDialog(CWnd* pParent, std::int32_t profileIndex)
    : CDialog(res::IDD_PROFILE_SETTINGS, pParent), m_profileIndex(profileIndex)
{
}

CComboBox* CProfileSettingsDialog::combo(unsigned controlId) const
{
    return static_cast<CComboBox*>(GetDlgItem(static_cast<int>(controlId)));
}

INT_PTR CProfileSettingsDialog::DoModal()
{
    // A profile that cannot be read is not shown: editing a guess would
    // write the guess over whatever part of the profile is still there.
    m_recordShown = false;
    if (!readProfileForDialog(m_profileIndex, m_record))
        return -1;
    const INT_PTR result = CDialog::DoModal();
    if (result == IDOK && m_recordShown) {
        // A write that fails part-way has nobody to tell; what was set stays.
        (void)writeProfileFromDialog(m_profileIndex, m_record);
    }
    return result;
}

BOOL CProfileSettingsDialog::OnInitDialog()
{
    CDialog::OnInitDialog();

    if (!createMenuBar(*this, res::IDR_MENU_OKCANCEL))
        return TRUE;

    const std::array<int, kProfileFieldCount> selections = selectionsForRecord(m_record);
    for (std::size_t i = 0; i < kProfileFieldCount; ++i) {
        CComboBox* box = combo(kProfileFieldRows[i].controlId);
        if (!box)
            continue;
        RECT place{};
        box->GetWindowRect(&place);
        ScreenToClient(&place);
        box->MoveWindow(place.left, place.top, place.right - place.left, kDroppedHeight);
        box->SetCurSel(selections[i]);
    }
    m_recordShown = true;

    const std::u16string title = profileDialogTitle(m_profileIndex);
    SHSetNavBarText(m_hWnd, title.c_str());

    if (CComboBox* first = combo(ids::IDC_CALL_VOLUME))
        first->SetFocus();
    return FALSE;  // the focus is set
}

void CProfileSettingsDialog::OnOK()
{
    // Lists that never showed the record hold no choice of the user's; taking
    // their first items would overwrite the profile with zeros.
    if (!m_recordShown) {
        CDialog::OnOK();
        return;
    }
    std::array<int, kProfileFieldCount> selections{};
    for (std::size_t i = 0; i < kProfileFieldCount; ++i) {
        CComboBox* box = combo(kProfileFieldRows[i].controlId);
        selections[i] = box ? box->GetCurSel() : CB_ERR;
    }
    storeSelections(selections, m_record);
    CDialog::OnOK();
}

}  // namespace tonquil
