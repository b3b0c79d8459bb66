// The Contacts page, the main sheet's first tab: every contact in an
// owner-drawn list, narrowed by the search box to those whose first name,
// last name or company begins with its text; a tap (or Enter) on a contact
// opens the contact settings dialog, whose OK updates the contact's marks.
// The entries are read once, when the page is made with the sheet.
#pragma once

#include <vector>

#include <tones/list_page.h>

#include "contacts_list.h"

namespace tonquil {

class CContactsPage : public CListPage {
public:
    // Reads the entries under the wait cursor; `contacts` is the logged-on
    // contacts application (the application's slot by default).
    explicit CContactsPage(IPOutlookApp2* contacts = nullptr);

    // The first activation ends with the focus on the list.
    BOOL OnSetActive() override;
    // A change of the search text refills the list.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    CContactsList& list() { return m_list; }

    // The longest search text that counts.
    static constexpr std::size_t kMaxSearch = 255;

protected:
    void onFirstActivation() override;
    // The contact dialog of the row's entry; its OK updates the entry's marks.
    void openDialog(int marked) override;

private:
    void search();

    IPOutlookApp2* m_contacts;
    std::vector<ContactEntry> m_entries;
    CContactsList m_list;
    bool m_listReady = false;
};

}  // namespace tonquil
