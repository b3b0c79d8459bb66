// CContactsList: the owner-drawn list of the Contacts page. Each row is one
// contact entry (its item data points at it): the entry's two-line text,
// bold for a VIP, grey for a muted contact, and its marks. An entry's SMS
// tone and priority are read when the entry is first drawn.
#pragma once

#include <string_view>
#include <vector>

#include <tones/marked_list.h>

#include "contact_entries.h"

namespace tonquil {

class CContactsList : public CMarkedList {
public:
    // The column width with a scroll bar beside it, and without.
    static constexpr int kScrolledColumnWidth = 225;
    static constexpr int kFullColumnWidth = 238;

    void setContactsApplication(IPOutlookApp2* contacts) { m_contacts = contacts; }

    // Makes one row per entry, all at once (the list sorts them), and shows
    // them all. The entries must outlive the rows.
    void fill(std::vector<ContactEntry>& entries);
    // Shows the rows whose entry matches `text` (all for an empty text)
    // without making or deleting rows. Either way column 0 narrows when a
    // scroll bar shows.
    void filter(std::u16string_view text);

    ContactEntry* entryAt(int row) const { return reinterpret_cast<ContactEntry*>(GetItemData(row)); }

protected:
    // The entry's marks and priority, its details read when it is first drawn.
    RowMarks marksOf(int item, DWORD_PTR itemData) override;

private:
    void fitColumn();

    IPOutlookApp2* m_contacts = nullptr;
};

}  // namespace tonquil
