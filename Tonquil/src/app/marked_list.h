// CMarkedList: what the owner-drawn lists of the pages share. Every row is
// 28 pixels high, drawn over the window colour (the highlight when
// selected), with the note mark at its right edge when its subject has a
// ring tone, the envelope mark left of the note's place when it has an SMS
// tone, and a grey line at its bottom.
#pragma once

#include <handset/ui.h>

namespace tonquil {

class CMarkedList : public CListCtrl {
public:
    // Loads the marks and their masks; they live as long as the list.
    CMarkedList();

    static constexpr UINT kRowHeight = 28;

    void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) override;

protected:
    // Fills the row's background; for a selected row also sets the
    // highlight's text and background colours.
    static void drawBackground(CDC& dc, const DRAWITEMSTRUCT& item);
    // The marks at the row's right edge, 2 pixels below its top. The
    // envelope keeps the note's place free whether or not the note shows.
    void drawMarks(CDC& dc, const RECT& row, bool ringTone, bool smsTone);
    // The grey line along the row's bottom.
    static void drawSeparator(CDC& dc, const RECT& row);

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
