#include "system_list.h"

#include <settings/settings.h>

namespace tonquil {

void CSystemList::DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct)
{
    CDC* dc = CDC::FromHandle(lpDrawItemStruct->hDC);
    const RECT row = lpDrawItemStruct->rcItem;
    const int saved = dc->SaveDC();
    drawBackground(*dc, *lpDrawItemStruct);

    RECT text = row;
    text.left += 2;
    dc->DrawText(GetItemText(static_cast<int>(lpDrawItemStruct->itemID), 0), &text, 0);

    const auto callerClass = static_cast<settings::CallerClass>(lpDrawItemStruct->itemData);
    settings::TonePath ring, sms;
    settings::readClassRingTone(callerClass, ring);
    settings::readClassSmsTone(callerClass, sms);
    drawMarks(*dc, row, !ring.empty(), !sms.empty());
    drawSeparator(*dc, row);
    dc->RestoreDC(saved);
}

}  // namespace tonquil
