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

void CMarkedList::drawBackground(CDC& dc, const DRAWITEMSTRUCT& item)
{
    if (item.itemState & ODS_SELECTED) {
        dc.SetTextColor(GetSysColor(COLOR_HIGHLIGHTTEXT));
        dc.SetBkColor(GetSysColor(COLOR_HIGHLIGHT));
        CBrush highlight(GetSysColor(COLOR_HIGHLIGHT));
        dc.FillRect(&item.rcItem, &highlight);
    } else {
        CBrush window(GetSysColor(COLOR_WINDOW));
        dc.FillRect(&item.rcItem, &window);
    }
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

void CMarkedList::drawMarks(CDC& dc, const RECT& row, bool ringTone, bool smsTone)
{
    const SIZE note = sizeOf(m_note);
    const SIZE envelope = sizeOf(m_envelope);
    if (ringTone)
        drawMark(dc, row.right - note.cx, row.top + 2, m_note, m_noteMask);
    if (smsTone)
        drawMark(dc, row.right - envelope.cx - note.cx, row.top + 2, m_envelope, m_envelopeMask);
}

void CMarkedList::drawSeparator(CDC& dc, const RECT& row)
{
    CPen grey(PS_SOLID, 1, GetSysColor(COLOR_GRAYTEXT));
    HGDIOBJ oldPen = dc.SelectObject(&grey);
    dc.MoveTo(row.left, row.bottom - 1);
    dc.LineTo(row.right, row.bottom - 1);
    dc.SelectObject(oldPen);
}

}  // namespace tonquil
