#include "contacts_list.h"

namespace tonquil {

void CContactsList::fill(std::vector<ContactEntry>& entries)
{
    DeleteAllItems();
    std::vector<ListRow> rows;
    rows.reserve(entries.size());
    for (ContactEntry& entry : entries)
        rows.push_back({contactEntryText(entry), reinterpret_cast<DWORD_PTR>(&entry)});
    InsertItems(rows);
    fitColumn();
}

void CContactsList::filter(std::u16string_view text)
{
    if (text.empty())
        FilterItems({});
    else
        FilterItems([text](DWORD_PTR data) {
            return matchesContactFilter(*reinterpret_cast<const ContactEntry*>(data), text);
        });
    fitColumn();
}

void CContactsList::fitColumn()
{
    SetColumnWidth(0, GetItemCount() > GetCountPerPage() ? kScrolledColumnWidth : kFullColumnWidth);
}

RowMarks CContactsList::marksOf(int, DWORD_PTR itemData)
{
    RowMarks marks;
    auto* entry = reinterpret_cast<ContactEntry*>(itemData);
    if (!entry)
        return marks;
    // A failed read is tried again at the next drawing.
    if (!entry->detailsLoaded)
        loadContactDetails(m_contacts, *entry);
    marks.ringTone = entry->hasRingTone;
    marks.smsTone = entry->hasSmsTone;
    marks.priority = entry->priority;
    return marks;
}

}  // namespace tonquil
