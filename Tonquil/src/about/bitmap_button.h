// CBitmapButton: an owner-drawn push button that shows one bitmap per
// state (normal, pressed, focused, disabled) instead of a text.
#pragma once

#include <handset/ui.h>

class CBitmapButton : public CButton {
public:
    CBitmapButton() = default;
    ~CBitmapButton() override = default;

    // Loads the bitmaps of the four states from the program's resources
    // (0: that state has none and falls back to the normal bitmap), freeing
    // those held before. FALSE when the normal bitmap cannot be loaded
    // (then nothing else is loaded) or when any optional one cannot; the
    // optional ones are all tried either way, and those that loaded stay.
    BOOL LoadBitmaps(UINT nIDBitmapResource, UINT nIDBitmapResourceSel = 0, UINT nIDBitmapResourceFocus = 0,
                     UINT nIDBitmapResourceDisabled = 0);

    // Copies the bitmap of the button's state to the button, unstretched,
    // from the bitmap's top left corner.
    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;

    // The button paints all of itself in DrawItem: erasing first would only
    // make it flicker. TRUE, with nothing painted.
    BOOL OnEraseBkgnd(CDC* pDC) override;

private:
    // The bitmap DrawItem copies for a drawing state (ODS_ flags); null when
    // not even the normal bitmap is loaded.
    CBitmap* bitmapForState(UINT itemState);
    void freeBitmaps();

    CBitmap m_bitmap;
    CBitmap m_bitmapSel;
    CBitmap m_bitmapFocus;
    CBitmap m_bitmapDisabled;
};
