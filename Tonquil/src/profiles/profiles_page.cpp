#include "profiles_page.h"

#include <app/menu_bar.h>

#include "bold_heading.h"
#include "profile_fields.h"
#include "profile_settings_dialog.h"
#include "profiles_ids.h"
#include "schedule_settings_dialog.h"

namespace tonquil {

CProfilesPage::CProfilesPage() : CPropertyPage(res::IDD_PROFILES_PAGE)
{
    // The sheet is built at start-up, so a profile damaged or deleted since
    // the last run is restored before any page or service reads it.
    ensureProfilesReadable();
}

BOOL CProfilesPage::OnSetActive()
{
    if (m_firstActivation) {
        m_firstActivation = false;
        m_menuBar = createMenuBar(*this, res::IDR_MENU_MAIN);
        if (m_menuBar) {
            if (auto* combo = static_cast<CComboBox*>(GetDlgItem(ids::IDC_PROFILE_COMBO))) {
                for (const char16_t* name : kProfileNames)
                    combo->AddString(name);
                combo->SetCurSel(0);
            }
            setBoldHeadings(*this, ids::IDC_SELECT_PROFILE_LABEL,
                            {ids::IDC_PROFILE_SETTINGS_GROUP, ids::IDC_SCHEDULE_GROUP}, m_boldFont);
        }
    }
    if (CPropertySheet* sheet = GetSheet()) {
        if (CWnd* tabs = sheet->GetTabControl())
            tabs->SetFocus();
    }
    return TRUE;
}

BOOL CProfilesPage::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case ids::IDC_CHANGE_SETTINGS:
        if (HIWORD(wParam) == BN_CLICKED)
            OnChangeSettings();
        return TRUE;
    case ids::IDC_SCHEDULE_SETTINGS:
        if (HIWORD(wParam) == BN_CLICKED)
            OnScheduleSettings();
        return TRUE;
    case ids::IDC_PROFILE_COMBO:
        return TRUE;  // choosing a profile here only says which one to edit
    default:
        return CPropertyPage::OnCommand(wParam, lParam);
    }
}

void CProfilesPage::OnChangeSettings()
{
    auto* combo = static_cast<CComboBox*>(GetDlgItem(ids::IDC_PROFILE_COMBO));
    const int index = combo ? combo->GetCurSel() : CB_ERR;
    if (index >= 0) {
        CProfileSettingsDialog dialog(this, index);
        dialog.DoModal();
    }
    SHSetNavBarText(m_hWnd, u"Tonquil");
    if (CWnd* button = GetDlgItem(ids::IDC_CHANGE_SETTINGS))
        button->SetFocus();
}

void CProfilesPage::OnScheduleSettings()
{
    CScheduleSettingsDialog dialog(this);
    dialog.DoModal();
    SHSetNavBarText(m_hWnd, u"Tonquil");
    if (CWnd* button = GetDlgItem(ids::IDC_SCHEDULE_SETTINGS))
        button->SetFocus();
}

}  // namespace tonquil
