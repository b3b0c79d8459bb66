// CMarkedList: the owner-drawn list of the pages whose rows carry tones (the
// System and Categories pages). Every row is 28 pixels high and shows its
// column-0 text (bold for a VIP row, grey for a Mute row), the note mark
// when it has a ring tone and the envelope mark when it has an SMS tone, over
// a grey line at its bottom. What a row carries is read anew each time the
// row is drawn, so the list always shows the settings as they are stored.
#pragma once

#include <cstdint>

#include <handset/ui.h>
#include <settings/settings.h>

namespace tonquil {

// What a row shows besides its text.
struct RowMarks {
    bool ringTone = false;
    bool smsTone = false;
    std::uint16_t priority = settings::PriorityNormal;
};

class CMarkedList : public CListCtrl {
public:
    // Loads the marks and their masks; they live as long as the list.
    CMarkedList();

    static constexpr UINT kRowHeight = 28;

    void MeasureItem(LPMEASUREITEMSTRUCT lpMeasureItemStruct) override;
    // Draws a row: its background (the highlight when selected), its
    // column-0 text in the row's priority's font and colour, the marks at
    // its right edge, the grey line.
    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

protected:
    // The settings of row `item` as they are stored now.
    virtual RowMarks marksOf(int item, DWORD_PTR itemData) = 0;

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
