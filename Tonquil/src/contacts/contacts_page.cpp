#include "contacts_page.h"

#include <app/tonquil_app.h>

#include "contact_settings_dialog.h"
#include "contacts_ids.h"

namespace tonquil {

CContactsPage::CContactsPage(IPOutlookApp2* contacts)
    : CTitledPage(res::IDD_CONTACTS_PAGE, res::IDC_CONTACTS_TITLE),
      m_contacts(contacts ? contacts : contactsApplication())
{
    CWaitCursor wait;
    m_entries = buildContactEntries(m_contacts);
}

BOOL CContactsPage::OnInitDialog()
{
    const BOOL result = CTitledPage::OnInitDialog();
    m_list.SubclassDlgItem(ids::IDC_CONTACTS_LIST, this);
    return result;
}

BOOL CContactsPage::OnSetActive()
{
    const bool first = !m_listReady;
    const BOOL result = CTitledPage::OnSetActive();
    if (first && m_listReady)
        m_list.SetFocus();
    return result;
}

void CContactsPage::onFirstActivation()
{
    m_list.setContactsApplication(m_contacts);
    m_list.MoveWindow(&kListPlace);
    m_list.DeleteAllItems();
    m_list.DeleteColumn(1);
    m_list.DeleteColumn(0);
    m_list.InsertColumn(0, u"", LVCFMT_LEFT, CContactsList::kScrolledColumnWidth);
    m_list.InsertColumn(1, u"", LVCFMT_LEFT, 0);
    m_list.fill(m_entries, {});
    if (m_list.GetItemCount() > 0) {
        m_list.SetSelectionMark(0);
        m_list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    m_listReady = true;
}

BOOL CContactsPage::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(static_cast<LPARAM>(wParam)) == ids::IDC_CONTACTS_SEARCH &&
        HIWORD(static_cast<LPARAM>(wParam)) == EN_CHANGE) {
        search();
        return TRUE;
    }
    return CTitledPage::OnCommand(wParam, lParam);
}

void CContactsPage::search()
{
    // Until the first activation made the list's columns there is nothing to fill.
    CWnd* box = GetDlgItem(ids::IDC_CONTACTS_SEARCH);
    if (!m_listReady || !box)
        return;
    std::u16string text = box->GetWindowText();
    text = text.substr(0, std::min(text.find_first_of(u"\r\n"), kMaxSearch));
    m_list.fill(m_entries, text);
}

BOOL CContactsPage::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (!header || header->idFrom != static_cast<UINT_PTR>(ids::IDC_CONTACTS_LIST) ||
        (header->code != NM_CLICK && header->code != NM_RETURN))
        return CTitledPage::OnNotify(wParam, lParam, pResult);
    openContactDialog();
    *pResult = 0;
    return TRUE;
}

void CContactsPage::openContactDialog()
{
    const int marked = m_list.GetSelectionMark();
    if (marked >= 0) {
        if (ContactEntry* entry = m_list.entryAt(marked)) {
            CWinApp* app = AfxGetApp();
            auto dialog = std::make_unique<CContactSettingsDialog>(entry->oid, app ? app->m_pMainWnd : nullptr,
                                                                   m_contacts);
            if (dialog->DoModal() == IDOK) {
                entry->hasRingTone = !dialog->slot(CToneDialog::RingSlot).path.empty();
                entry->hasSmsTone = !dialog->slot(CToneDialog::SmsSlot).path.empty();
                entry->priority = dialog->priority();
            }
            SHSetNavBarText(m_hWnd, u"Tonquil");
            m_list.Invalidate();
        }
    }
    m_list.SetFocus();
}

}  // namespace tonquil
