// What the drawing files of the window layer share: the drawing objects,
// device contexts and the painter that draws for a context.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <handset/gdi.h>

struct GdiObject {
    enum class Kind { Brush, Font, Bitmap, Pen } kind;
    bool stock = false;
    bool nullBrush = false;  // also a null pen
    COLORREF color = 0;
    LOGFONTW font{};
    QImage image{};       // a bitmap's pixels
    int selections = 0;   // a bitmap: the memory contexts it is selected into
    int penWidth = 1;
    // A device-independent bitmap section: `image` works on `bits`, the
    // memory its maker reads and writes, row for row; with rows from the
    // bottom up it is the picture upside down, which drawing undoes with a
    // flipped painter and reading with `view`, the picture as it looks.
    std::unique_ptr<uchar[]> bits{};
    bool bottomUp = false;
    QImage view{};
};

// What SaveDC keeps and RestoreDC puts back.
struct DcState {
    int bkMode = OPAQUE;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    GdiObject* font = nullptr;
    GdiObject* pen = nullptr;
    POINT position{0, 0};
};

struct HDC__ : DcState {
    HWND hwnd = nullptr;  // null: the screen, a memory context or an image
    bool memory = false;          // made by CreateCompatibleDC
    GdiObject* bitmap = nullptr;  // a memory context's bitmap
    QImage* target = nullptr;     // a context on an image the caller owns
    std::vector<DcState> saved;   // SaveDC's stack, innermost last
};

namespace handset::gdi {

// One lock for the tables of live objects and contexts.
std::mutex& tableMutex();
// Adds an object to the live ones (the caller holds no lock).
GdiObject* keep(GdiObject* object);
// The live object or context of a handle, null for anything else.
GdiObject* object(HGDIOBJ handle);
HDC__* context(HDC hdc);
// The stock pens (WHITE_PEN, BLACK_PEN, NULL_PEN); the black one is what
// every context starts with.
GdiObject* stockPen(int index);
GdiObject* blackPen();

QColor qcolor(COLORREF c);
QFont qfont(const LOGFONTW& lf);
// The font selected into the context (the system font when none is).
QFont contextFont(HDC__* dc);
// A painter for the context, translated to its window's origin and clipped
// to it; `windowArea` is the context's area. False when it draws nowhere.
bool openPainter(HDC__* dc, QPainter& painter, QRect& windowArea);

}  // namespace handset::gdi
