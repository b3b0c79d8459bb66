#include "main_sheet.h"

#include <about/about_box.h>
#include <backup/backup_commands.h>
#include <checks/check_tones_dialog.h>
#include <checks/test_call_dialog.h>
#include <profiles/profile_settings_dialog.h>
#include <quiet/quiet_dialogs.h>
#include <resource.h>
#include <settings/settings.h>

namespace tonquil {

CMainPropertySheet::CMainPropertySheet(LPCWSTR pszCaption, CWnd* pParentWnd, UINT iSelectPage)
    : CPropertySheet(pszCaption, pParentWnd, iSelectPage)
{
    AddPage(&m_contacts);
    AddPage(&m_categories);
    AddPage(&m_call);
    AddPage(&m_profiles);
}

BOOL CMainPropertySheet::OnInitDialog()
{
    const BOOL result = CPropertySheet::OnInitDialog();
    SHDoneButton(m_hWnd, SHDB_HIDE);
    return result;
}

BOOL CMainPropertySheet::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(static_cast<LPARAM>(wParam));
    if (id >= res::ID_PROFILE_NORMAL && id <= res::ID_PROFILE_CUSTOM) {
        selectProfile(static_cast<std::int32_t>(id - res::ID_PROFILE_NORMAL));
        return TRUE;
    }
    switch (id) {
    case res::ID_PROFILE_SCHEDULE:
        selectProfile(settings::PROFILE_SCHEDULE);
        return TRUE;
    case res::ID_TIMED_PROFILE: {
        CTimedProfileDialog dialog(this);
        dialog.DoModal();
        SHSetNavBarText(m_hWnd, u"Tonquil");
        return TRUE;
    }
    case res::ID_VIP_SETTINGS: {
        CProfileSettingsDialog dialog(this, kVipProfileIndex);
        dialog.DoModal();
        SHSetNavBarText(m_hWnd, u"Tonquil");
        return TRUE;
    }
    case res::ID_GET_RING_TONES:
        openWebPage(kRingTonesUrl);
        return TRUE;
    case res::ID_TEST_A_CALL: {
        CTestCallDialog dialog(this);
        dialog.DoModal();
        SHSetNavBarText(m_hWnd, u"Tonquil");
        return TRUE;
    }
    case res::ID_CHECK_TONES: {
        CCheckTonesDialog dialog(this);
        dialog.DoModal();
        SHSetNavBarText(m_hWnd, u"Tonquil");
        return TRUE;
    }
    case res::ID_REPEATED_CALLS: {
        CRepeatedCallsDialog dialog(this);
        dialog.DoModal();
        SHSetNavBarText(m_hWnd, u"Tonquil");
        return TRUE;
    }
    case res::ID_BACKUP_SETTINGS:
        backUpSettingsCommand(this);
        SHSetNavBarText(m_hWnd, u"Tonquil");
        return TRUE;
    case res::ID_RESTORE_SETTINGS:
        restoreSettingsCommand(this);
        SHSetNavBarText(m_hWnd, u"Tonquil");
        return TRUE;
    case res::ID_CHECK_FOR_UPDATE:
        openWebPage(kUpdateUrl);
        return TRUE;
    case res::ID_ABOUT: {
        CAboutBox about(this);
        about.DoModal();
        SHSetNavBarText(m_hWnd, u"Tonquil");
        return TRUE;
    }
    default:
        return CPropertySheet::OnCommand(wParam, lParam);
    }
}

void CMainPropertySheet::OnInitMenuPopup(CMenu* pPopupMenu, UINT, BOOL)
{
    markProfileInForce(pPopupMenu, settings::readCurrentProfile());
}

BOOL CMainPropertySheet::OnHelpInfo(HELPINFO*)
{
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = u"Open";
    info.lpFile = kHelpViewer;
    info.lpParameters = kHelpFile;
    info.nShow = SW_SHOW;
    // A help viewer that cannot be started leaves nothing to tell the user.
    ShellExecuteEx(&info);
    return TRUE;
}

void CMainPropertySheet::OnSize(UINT nType, int cx, int cy)
{
    // The close button minimises; a sheet that is not seen has no reason to run.
    if (nType == SIZE_MINIMIZED)
        PressButton(PSBTN_CANCEL);
    else
        CPropertySheet::OnSize(nType, cx, cy);
}

void CMainPropertySheet::selectProfile(std::int32_t index)
{
    // Nothing is told to anyone: the services read the selector when they need it.
    settings::writeCurrentProfile(index);
}

void CMainPropertySheet::openWebPage(LPCWSTR url)
{
    SHELLEXECUTEINFO info{};
    info.cbSize = sizeof info;
    info.lpVerb = u"Open";
    info.lpFile = url;
    info.nShow = SW_SHOW;
    ShellExecuteEx(&info);
}

void markProfileInForce(CMenu* menu, std::int32_t selector)
{
    if (!menu)
        return;
    for (std::int32_t i = 0; i < settings::kProfileCount; ++i)
        menu->CheckMenuItem(res::ID_PROFILE_NORMAL + static_cast<UINT>(i),
                            MF_BYCOMMAND | (selector == i ? MF_CHECKED : MF_UNCHECKED));
    menu->CheckMenuItem(res::ID_PROFILE_SCHEDULE,
                        MF_BYCOMMAND | (selector == settings::PROFILE_SCHEDULE ? MF_CHECKED : MF_UNCHECKED));
}

}  // namespace tonquil
