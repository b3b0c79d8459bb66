// CSystemList: the owner-drawn list of the System page. Every row is 28
// pixels high and shows its text, the note mark when its caller class has a
// ring tone and the envelope mark when it has an SMS tone (read anew each
// time a row is drawn), over a grey line at its bottom.
#pragma once

#include <handset/ui.h>

namespace tonquil {

class CSystemList : public CListCtrl {
public:
    // Loads the marks and their masks; they live as long as the list.
    CSystemList();

    static constexpr UINT kRowHeight = 28;

    void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) override;
    // Draws a row: its background (the highlight when selected), its
    // column-0 text, the marks at its right edge, the grey line.
    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

private:
    // Paints a mark at (x, y): the mask with MERGEPAINT, then the mark with
    // SRCAND, so that only the mark's shape covers the row's background.
    static void drawMark(CDC& dc, int x, int y, CBitmap& mark, CBitmap& mask);

    CBitmap m_note;
    CBitmap m_noteMask;
    CBitmap m_envelope;
    CBitmap m_envelopeMask;
};

}  // namespace tonquil
