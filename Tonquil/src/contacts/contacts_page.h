// The Contacts page, the main sheet's first tab: every contact in an
// owner-drawn list, narrowed by the search box to those whose first name,
// last name or company begins with its text; a tap (or Enter) on a contact
// opens the contact settings dialog, whose OK updates the contact's marks.
// The entries are read once, when the page is made with the sheet.
#pragma once

#include <vector>

#include <app/placeholder_pages.h>

#include "contacts_list.h"

namespace tonquil {

class CContactsPage : public CTitledPage {
public:
    // Reads the entries under the wait cursor; `contacts` is the logged-on
    // contacts application (the application's slot by default).
    explicit CContactsPage(IPOutlookApp2* contacts = nullptr);

    BOOL OnInitDialog() override;
    // The first activation ends with the focus on the list.
    BOOL OnSetActive() override;
    // A change of the search text refills the list.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // The list's click and return open the dialog of the marked contact.
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

    CContactsList& list() { return m_list; }
    std::vector<ContactEntry>& entries() { return m_entries; }

    // The list's place on the page, for the phone's 240-pixel-wide screen.
    static constexpr RECT kListPlace{0, 25, 240, 25 + 142};
    // The longest search text that counts.
    static constexpr std::size_t kMaxSearch = 255;

protected:
    void onFirstActivation() override;

private:
    void search();
    void openContactDialog();

    IPOutlookApp2* m_contacts;
    std::vector<ContactEntry> m_entries;
    CContactsList m_list;
    bool m_listReady = false;
};

}  // namespace tonquil
