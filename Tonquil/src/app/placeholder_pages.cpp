#include "placeholder_pages.h"

#include <resource.h>

namespace tonquil {

BOOL CTitledPage::OnSetActive()
{
    if (m_firstActivation) {
        m_firstActivation = false;
        SHMENUBARINFO mbi{};
        mbi.cbSize = sizeof mbi;
        mbi.hwndParent = m_hWnd;
        mbi.nToolBarId = res::IDR_MENU_MAIN;
        mbi.hInstRes = AfxGetInstanceHandle();
        if (SHCreateMenuBar(&mbi)) {
            m_menuBar = mbi.hwndMB;
            // The heading: the title's own font, bold and antialiased.
            if (CWnd* title = GetDlgItem(m_titleId)) {
                LOGFONTW lf{};
                if (title->GetFont()->GetLogFont(&lf)) {
                    lf.lfWeight = FW_BOLD;
                    lf.lfQuality = ANTIALIASED_QUALITY;
                    if (m_boldFont.CreateFontIndirect(&lf))
                        title->SetFont(&m_boldFont);
                }
            }
        }
    }
    if (CPropertySheet* sheet = GetSheet(); sheet && sheet->GetTabControl())
        sheet->GetTabControl()->SetFocus();
    return TRUE;
}

CContactsPage::CContactsPage() : CTitledPage(res::IDD_CONTACTS_PAGE, res::IDC_CONTACTS_TITLE) {}
CCategoriesPage::CCategoriesPage() : CTitledPage(res::IDD_CATEGORIES_PAGE, res::IDC_CATEGORIES_TITLE) {}
CCallPage::CCallPage() : CTitledPage(res::IDD_SYSTEM_PAGE, res::IDC_SYSTEM_TITLE) {}

}  // namespace tonquil
