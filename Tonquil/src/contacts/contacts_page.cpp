#include "contacts_page.h"

#include <app/tonquil_app.h>

#include "contact_settings_dialog.h"
#include "contacts_ids.h"

namespace tonquil {

CContactsPage::CContactsPage(IPOutlookApp2* contacts)
    : CListPage(res::IDD_CONTACTS_PAGE, res::IDC_CONTACTS_TITLE, ids::IDC_CONTACTS_LIST, m_list),
      m_contacts(contacts ? contacts : contactsApplication())
{
    CWaitCursor wait;
    m_entries = buildContactEntries(m_contacts);
}

BOOL CContactsPage::OnSetActive()
{
    const bool first = !m_listReady;
    const BOOL result = CListPage::OnSetActive();
    if (first && m_listReady)
        m_list.SetFocus();
    return result;
}

void CContactsPage::onFirstActivation()
{
    m_list.setContactsApplication(m_contacts);
    resetList(CContactsList::kScrolledColumnWidth);
    m_list.fill(m_entries);
    selectFirstRow();
    m_listReady = true;
}

BOOL CContactsPage::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(static_cast<LPARAM>(wParam)) == ids::IDC_CONTACTS_SEARCH &&
        HIWORD(static_cast<LPARAM>(wParam)) == EN_CHANGE) {
        search();
        return TRUE;
    }
    return CListPage::OnCommand(wParam, lParam);
}

void CContactsPage::search()
{
    // Until the first activation made the list's columns there is nothing to fill.
    CWnd* box = GetDlgItem(ids::IDC_CONTACTS_SEARCH);
    if (!m_listReady || !box)
        return;
    std::u16string text = box->GetWindowText();
    text = text.substr(0, std::min(text.find_first_of(u"\r\n"), kMaxSearch));
    m_list.filter(text);
}

void CContactsPage::openDialog(int marked)
{
    ContactEntry* entry = m_list.entryAt(marked);
    if (!entry)
        return;
    CWinApp* app = AfxGetApp();
    auto dialog = std::make_unique<CContactSettingsDialog>(entry->oid, app ? app->m_pMainWnd : nullptr, m_contacts);
    if (dialog->DoModal() == IDOK) {
        entry->hasRingTone = !dialog->slot(CToneDialog::RingSlot).path.empty();
        entry->hasSmsTone = !dialog->slot(CToneDialog::SmsSlot).path.empty();
        entry->priority = dialog->priority();
    }
}

}  // namespace tonquil
