#include "dialog_heading.h"

namespace tonquil {

void paintDialogHeading(CWnd& dialog, const std::u16string& text, int height)
{
    CPaintDC dc(&dialog);
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);

    LOGFONTW description{};
    CFont* current = dc.GetCurrentFont();
    CFont bold;
    HGDIOBJ oldFont = nullptr;
    if (current && current->GetLogFont(&description)) {
        description.lfWeight = FW_BOLD;
        if (bold.CreateFontIndirect(&description))
            oldFont = dc.SelectObject(&bold);
    }
    dc.SetTextColor(kHeadingColour);
    RECT band{8, 0, screenWidth, height};
    dc.DrawText(text, &band, DT_SINGLELINE | DT_VCENTER);
    if (oldFont)
        dc.SelectObject(oldFont);

    CPen black(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ oldPen = dc.SelectObject(&black);
    dc.MoveTo(0, height);
    dc.LineTo(screenWidth, height);
    dc.SelectObject(oldPen);
}

}  // namespace tonquil
