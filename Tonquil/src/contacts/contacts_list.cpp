#include "contacts_list.h"

namespace tonquil {

void CContactsList::fill(std::vector<ContactEntry>& entries, std::u16string_view filter)
{
    DeleteAllItems();
    for (ContactEntry& entry : entries) {
        if (!matchesContactFilter(entry, filter))
            continue;
        const int row = InsertItem(GetItemCount(), contactEntryText(entry).c_str());
        SetItemData(row, reinterpret_cast<DWORD_PTR>(&entry));
    }
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
