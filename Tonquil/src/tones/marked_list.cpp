#include "marked_list.h"

#include <resource.h>

namespace tonquil {

namespace {

SIZE sizeOf(const CBitmap& bitmap)
{
    BITMAP bm{};
    if (!bitmap.GetBitmap(&bm))
        return {0, 0};
    return {bm.bmWidth, bm.bmHeight};
}

}  // namespace

CMarkedList::CMarkedList()
{
    m_note.LoadBitmap(res::IDB_NOTE);
    m_noteMask.LoadBitmap(res::IDB_NOTE_MASK);
    m_envelope.LoadBitmap(res::IDB_ENVELOPE);
    m_envelopeMask.LoadBitmap(res::IDB_ENVELOPE_MASK);
}

void CMarkedList::MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct)
{
    lpMeasureItemStruct->itemHeight = kRowHeight;
}

void CMarkedList::drawMark(CDC& dc, int x, int y, CBitmap& mark, CBitmap& mask)
{
    const SIZE size = sizeOf(mark);
    CDC memory;
    if (!memory.CreateCompatibleDC(&dc))
        return;
    HGDIOBJ old = memory.SelectObject(&mask);
    dc.BitBlt(x, y, size.cx, size.cy, &memory, 0, 0, MERGEPAINT);
    memory.SelectObject(&mark);
    dc.BitBlt(x, y, size.cx, size.cy, &memory, 0, 0, SRCAND);
    memory.SelectObject(old);
}

void CMarkedList::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
    const RECT row = lpDrawItemStruct->rcItem;
    const int item = static_cast<int>(lpDrawItemStruct->itemID);
    const int saved = dc->SaveDC();

    if (lpDrawItemStruct->itemState & ODS_SELECTED) {
        dc->SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
        dc->SetBkColor(GetSysColor(COLOR_HIGHLIGHT));
        CBrush highlight(GetSysColor(COLOR_HIGHLIGHT));
        dc->FillRect(&row, &highlight);
    } else {
        CBrush window(GetSysColor(COLOR_WINDOW));
        dc->FillRect(&row, &window);
    }

    const RowMarks marks = marksOf(item, lpDrawItemStruct->itemData);
    // Selected into the context until RestoreDC, so it must outlive the text.
    CFont bold;
    if (marks.priority == settings::PriorityVip) {
        LOGFONTW description{};
        // The context's own font, which the row's text is drawn in: the
        // list window's font is smaller, and a VIP row would shrink.
        if (CFont* font = dc->GetCurrentFont(); font && font->GetLogFont(&description)) {
            description.lfWeight = FW_BOLD;
            if (bold.CreateFontIndirect(&description))
                dc->SelectObject(&bold);
        }
    } else if (marks.priority == settings::PriorityMute) {
        dc->SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    }

    RECT text = row;
    text.left += 2;
    dc->DrawText(GetItemText(item, 0), &text, 0);

    const SIZE note = sizeOf(m_note);
    const SIZE envelope = sizeOf(m_envelope);
    if (marks.ringTone)
        drawMark(*dc, row.right - note.cx, row.top + 2, m_note, m_noteMask);
    // The envelope keeps the note's place free whether or not the note shows.
    if (marks.smsTone)
        drawMark(*dc, row.right - envelope.cx - note.cx, row.top + 2, m_envelope, m_envelopeMask);

    CPen grey(PS_SOLID, 1, GetSysColor(COLOR_GRAYTEXT));
    dc->SelectObject(&grey);
    dc->MoveTo(row.left, row.bottom - 1);
    dc->LineTo(row.right, row.bottom - 1);

    dc->RestoreDC(saved);
}

}  // namespace tonquil
