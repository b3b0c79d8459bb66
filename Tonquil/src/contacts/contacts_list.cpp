#include "contacts_list.h"

#include <settings/settings.h>

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

void CContactsList::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    auto* entry = reinterpret_cast<ContactEntry*>(lpDrawItemStruct->itemData);
    if (!entry)
        return;
    // A failed read is tried again at the next drawing.
    if (!entry->detailsLoaded)
        loadContactDetails(m_contacts, *entry);

    CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
    const RECT row = lpDrawItemStruct->rcItem;
    const int saved = dc->SaveDC();
    drawBackground(*dc, *lpDrawItemStruct);

    CFont bold;
    if (entry->priority == settings::PriorityVip) {
        LOGFONTW description{};
        if (CFont* current = dc->GetCurrentFont(); current && current->GetLogFont(&description)) {
            description.lfWeight = FW_BOLD;
            if (bold.CreateFontIndirect(&description))
                dc->SelectObject(&bold);
        }
    } else if (entry->priority == settings::PriorityMute) {
        dc->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    }
    RECT text = row;
    text.left += 2;
    dc->DrawText(GetItemText(static_cast<int>(lpDrawItemStruct->itemID), 0), &text, DT_LEFT | DT_TOP);

    drawMarks(*dc, row, entry->hasRingTone, entry->hasSmsTone);
    drawSeparator(*dc, row);
    // Restoring the state puts the list's own font back before `bold` goes.
    dc->RestoreDC(saved);
}

}  // namespace tonquil
