// CSystemList: the owner-drawn list of the System page. Each row shows its
// caller class's text and the marks of the class's tones, read anew each
// time a row is drawn.
#pragma once

#include <app/marked_list.h>

namespace tonquil {

class CSystemList : public CMarkedList {
public:
    // Draws a row: its background, its column-0 text, the marks, the grey line.
    void DrawItem(LPDRAWITEMSTRUCT lpDrawItemStruct) override;
};

}  // namespace tonquil
