#include "check_tones_dialog.h"

#include <memory>

#include <app/menu_bar.h>
#include <app/tonquil_app.h>
#include <categories/set_category.h>
#include <contacts/contact_settings_dialog.h>
#include <system/set_caller.h>

#include "checks_ids.h"

namespace tonquil {

namespace {

// The one column takes the row's width: the texts are long paths.
constexpr int kColumnWidth = 238;

}  // namespace

CCheckTonesDialog::CCheckTonesDialog(CWnd* pParent, IPOutlookApp2* contacts)
    : CDialog(res::IDD_CHECK_TONES, pParent), m_contacts(contacts ? contacts : contactsApplication())
{
}

CListCtrl* CCheckTonesDialog::list() const
{
    return static_cast<CListCtrl*>(GetDlgItem(ids::IDC_CHECK_LIST));
}

BOOL CCheckTonesDialog::OnInitDialog()
{
    CDialog::OnInitDialog();
    createMenuBar(*this, res::IDR_MENU_DONE);
    if (CListCtrl* rows = list())
        rows->InsertColumn(0, u"", LVCFMT_LEFT, kColumnWidth);
    check();
    SHSetNavBarText(m_hWnd, u"Check Tones");
    if (CListCtrl* rows = list())
        rows->SetFocus();
    return FALSE;  // the focus is set
}

void CCheckTonesDialog::check()
{
    CWaitCursor wait;
    TonePlayability playability;
    m_problems = checkTones(m_contacts, playability);

    CListCtrl* rows = list();
    if (!rows)
        return;
    rows->DeleteAllItems();
    for (std::size_t i = 0; i < m_problems.size(); ++i) {
        const int row = rows->InsertItem(static_cast<int>(i), problemText(m_problems[i]).c_str());
        if (row >= 0)
            rows->SetItemData(row, i);
    }
    if (!m_problems.empty()) {
        rows->SetSelectionMark(0);
        rows->SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    if (CWnd* heading = GetDlgItem(ids::IDC_CHECK_HEADING))
        heading->SetWindowText(m_problems.empty() ? kEveryToneCanPlay : kChooseToMend);
}

BOOL CCheckTonesDialog::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header || header->idFrom != static_cast<UINT_PTR>(ids::IDC_CHECK_LIST) ||
        (header->code != NM_CLICK && header->code != NM_RETURN))
        return CDialog::OnNotify(wParam, lParam, pResult);
    CListCtrl* rows = list();
    const int marked = rows ? rows->GetSelectionMark() : -1;
    if (marked >= 0) {
        const std::size_t index = rows->GetItemData(marked);
        if (index < m_problems.size()) {
            // A copy: the check below replaces the list it came from.
            const ToneAssignment where = m_problems[index].where;
            openSettings(where);
            SHSetNavBarText(m_hWnd, u"Check Tones");
            check();
        }
    }
    if (rows)
        rows->SetFocus();
    *pResult = 0;
    return TRUE;
}

void CCheckTonesDialog::openSettings(const ToneAssignment& where)
{
    switch (where.owner) {
    case ToneOwner::CallerClass: {
        auto dialog = std::make_unique<CSetCaller>(this, where.callerClass, where.name);
        dialog->DoModal();
        break;
    }
    case ToneOwner::Category: {
        auto dialog = std::make_unique<SetCategory>(this);
        dialog->setCategoryName(where.name);
        dialog->DoModal();
        break;
    }
    case ToneOwner::Contact: {
        auto dialog = std::make_unique<CContactSettingsDialog>(where.oid, this, m_contacts);
        dialog->DoModal();
        break;
    }
    }
}

}  // namespace tonquil
