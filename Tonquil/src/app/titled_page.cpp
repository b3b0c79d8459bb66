#include "titled_page.h"

#include "menu_bar.h"

#include <profiles/bold_heading.h>

#include <resource.h>

namespace tonquil {

BOOL CTitledPage::OnSetActive()
{
    if (m_firstActivation) {
        m_firstActivation = false;
        m_menuBar = createMenuBar(*this, res::IDR_MENU_MAIN);
        if (m_menuBar) {
            // The heading: the title's own font, bold and antialiased.
            setBoldHeadings(*this, static_cast<unsigned>(m_titleId), {static_cast<unsigned>(m_titleId)}, m_boldFont);
            onFirstActivation();
        }
    }
    if (CPropertySheet* sheet = GetSheet(); sheet && sheet->GetTabControl())
        sheet->GetTabControl()->SetFocus();
    return TRUE;
}

}  // namespace tonquil
