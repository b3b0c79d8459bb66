#include "bold_heading.h"

namespace tonquil {

bool setBoldHeadings(CWnd& dialog, unsigned sourceId, std::initializer_list<unsigned> headingIds, CFont& bold)
{
    CWnd* source = dialog.GetDlgItem(static_cast<int>(sourceId));
    CFont* font = source ? source->GetFont() : nullptr;
    LOGFONTW description{};
    if (!font || !font->GetLogFont(&description))
        return false;
    description.lfWeight = FW_BOLD;
    description.lfQuality = ANTIALIASED_QUALITY;
    if (!bold.CreateFontIndirect(&description))
        return false;
    for (unsigned id : headingIds) {
        if (CWnd* heading = dialog.GetDlgItem(static_cast<int>(id)))
            heading->SetFont(&bold);
    }
    return true;
}

}  // namespace tonquil
