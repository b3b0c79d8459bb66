// The heading of a settings dialog: its subject's name in bold dark blue in
// the band at the top, over a black line across the screen.
#pragma once

#include <string>

#include <handset/ui.h>

namespace tonquil {

// The heading's colour, RGB(0, 0, 156).
constexpr COLORREF kHeadingColour = 0x009C0000;

// Paints the heading on `dialog` (from its OnPaint): the text from x = 8 in
// a bold copy of the paint context's font, on one line, centred in the band
// from y = 0 to `height`, and the line at y = `height`.
void paintDialogHeading(CWnd& dialog, const std::u16string& text, int height);

}  // namespace tonquil
