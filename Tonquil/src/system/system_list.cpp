#include "system_list.h"

#include <resource.h>
#include <settings/settings.h>

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

CSystemList::CSystemList()
{
    m_note.LoadBitmap(res::IDB_NOTE);
    m_noteMask.LoadBitmap(res::IDB_NOTE_MASK);
    m_envelope.LoadBitmap(res::IDB_ENVELOPE);
    m_envelopeMask.LoadBitmap(res::IDB_ENVELOPE_MASK);
}

void CSystemList::MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct)
{
    lpMeasureItemStruct->itemHeight = kRowHeight;
}

void CSystemList::drawMark(CDC& dc, int x, int y, CBitmap& mark, CBitmap& mask)
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

void CSystemList::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
    const RECT row = lpDrawItemStruct->rcItem;
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

    RECT text = row;
    text.left += 2;
    dc->DrawText(GetItemText(static_cast<int>(lpDrawItemStruct->itemID), 0), &text, 0);

    const auto callerClass = static_cast<settings::CallerClass>(lpDrawItemStruct->itemData);
    const SIZE note = sizeOf(m_note);
    const SIZE envelope = sizeOf(m_envelope);
    settings::TonePath tone;
    settings::readClassRingTone(callerClass, tone);
    if (!tone.empty())
        drawMark(*dc, row.right - note.cx, row.top + 2, m_note, m_noteMask);
    settings::readClassSmsTone(callerClass, tone);
    // The envelope keeps the note's place free whether or not the note shows.
    if (!tone.empty())
        drawMark(*dc, row.right - envelope.cx - note.cx, row.top + 2, m_envelope, m_envelopeMask);

    CPen grey(PS_SOLID, 1, GetSysColor(COLOR_GRAYTEXT));
    HGDIOBJ oldPen = dc->SelectObject(&grey);
    dc->MoveTo(row.left, row.bottom - 1);
    dc->LineTo(row.right, row.bottom - 1);
    dc->SelectObject(oldPen);

    dc->RestoreDC(saved);
}

}  // namespace tonquil
