// What a program that draws its own screen tells `handset screen` about it:
// the parts that are painted rather than made of windows (the Today screen's
// soft keys, its selected item). Programs built on the UI framework need
// none of this: their controls describe themselves.
#pragma once

#include <string>

#include <handset/window.h>

namespace handset {

// The labels of the soft keys the top-level window draws at its bottom.
void setDrawnSoftKeys(HWND topLevel, std::u16string left, std::u16string right);

// Whether a child window shows itself as the selected one.
void setDrawnSelection(HWND window, bool selected);

}  // namespace handset
