#include "bitmap_button.h"

void CBitmapButton::freeBitmaps()
{
    m_bitmap.DeleteObject();
    m_bitmapSel.DeleteObject();
    m_bitmapFocus.DeleteObject();
    m_bitmapDisabled.DeleteObject();
}

BOOL CBitmapButton::LoadBitmaps(UINT nIDBitmapResource, UINT nIDBitmapResourceSel, UINT nIDBitmapResourceFocus,
                                UINT nIDBitmapResourceDisabled)
{
    freeBitmaps();
    if (!m_bitmap.LoadBitmap(nIDBitmapResource))
        return FALSE;
    BOOL allLoaded = TRUE;
    const struct {
        UINT id;
        CBitmap& bitmap;
    } optional[] = {
        {nIDBitmapResourceSel, m_bitmapSel},
        {nIDBitmapResourceFocus, m_bitmapFocus},
        {nIDBitmapResourceDisabled, m_bitmapDisabled},
    };
    for (const auto& o : optional)
        if (o.id != 0 && !o.bitmap.LoadBitmap(o.id))
            allLoaded = FALSE;
    return allLoaded;
}

CBitmap* CBitmapButton::bitmapForState(UINT itemState)
{
    if ((itemState & ODS_SELECTED) && m_bitmapSel.m_hObject)
        return &m_bitmapSel;
    if ((itemState & ODS_FOCUS) && m_bitmapFocus.m_hObject)
        return &m_bitmapFocus;
    if ((itemState & ODS_DISABLED) && m_bitmapDisabled.m_hObject)
        return &m_bitmapDisabled;
    return m_bitmap.m_hObject ? &m_bitmap : nullptr;
}

void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    // A button whose normal bitmap never loaded has nothing to show; it is
    // left as its parent painted it.
    CBitmap* bitmap = bitmapForState(lpDrawItemStruct->itemState);
    if (!bitmap)
        return;
    CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
    CDC memory;
    if (!memory.CreateCompatibleDC(dc))
        return;
    HGDIOBJ old = memory.SelectObject(bitmap);
    const RECT& r = lpDrawItemStruct->rcItem;
    dc->BitBlt(r.left, r.top, r.right - r.left, r.bottom - r.top, &memory, 0, 0, SRCCOPY);
    memory.SelectObject(old);
    memory.DeleteDC();
}

BOOL CBitmapButton::OnEraseBkgnd(CDC*)
{
    return TRUE;
}
