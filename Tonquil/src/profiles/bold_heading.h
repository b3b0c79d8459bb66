// Bold headings: a copy of a label's font with weight 700 and antialiased
// quality, all else equal, set on the headings of a page or dialog.
#pragma once

#include <initializer_list>

#include <handset/ui.h>

namespace tonquil {

// Makes `bold` from the font of control `sourceId` of `dialog` and sets it on
// each control of `headingIds`. `bold` must outlive the controls. False
// (nothing changed) when the source control or its font is missing.
bool setBoldHeadings(CWnd& dialog, unsigned sourceId, std::initializer_list<unsigned> headingIds, CFont& bold);

}  // namespace tonquil
