// The system's colours, the saved states of a device context, pens and
// lines, and text extents.
#include <handset/errors.h>
#include <handset/gdi.h>
#include <handset/wstring.h>

#include <QFontMetrics>

#include "gdi_internal.h"
#include "window_internal.h"

using handset::gdi::context;
using handset::gdi::object;

namespace handset::gdi {

GdiObject* stockPen(int index)
{
    static GdiObject* white = keep(new GdiObject{GdiObject::Kind::Pen, true, false, RGB(255, 255, 255)});
    static GdiObject* black = keep(new GdiObject{GdiObject::Kind::Pen, true, false, RGB(0, 0, 0)});
    static GdiObject* none = keep(new GdiObject{GdiObject::Kind::Pen, true, true, 0});
    switch (index) {
    case WHITE_PEN: return white;
    case BLACK_PEN: return black;
    case NULL_PEN: return none;
    default: return nullptr;
    }
}

GdiObject* blackPen()
{
    return stockPen(BLACK_PEN);
}

}  // namespace handset::gdi

COLORREF GetSysColor(int nIndex)
{
    // The phone's standard scheme.
    switch (nIndex) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    // A brighter blue than the bars, so that the lists' navy marks stay
    // visible on a selected row.
    case COLOR_HIGHLIGHT: return RGB(0x31, 0x8C, 0xE7);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(0xD4, 0xD0, 0xC8);
    case COLOR_GRAYTEXT: return RGB(0x80, 0x80, 0x80);
    default: return 0;
    }
}

int GetSystemMetrics(int nIndex)
{
    switch (nIndex) {
    case SM_CXSCREEN: return 240;
    case SM_CYSCREEN: return 320;
    case SM_CXVSCROLL: return 13;
    default: return 0;
    }
}

int SaveDC(HDC hdc)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return 0;
    dc->saved.push_back(static_cast<const DcState&>(*dc));
    return static_cast<int>(dc->saved.size());
}

BOOL RestoreDC(HDC hdc, int nSavedDC)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return FALSE;
    const int levels = static_cast<int>(dc->saved.size());
    const int level = nSavedDC < 0 ? levels + 1 + nSavedDC : nSavedDC;
    if (nSavedDC == 0 || level < 1 || level > levels)
        return FALSE;
    // An object selected since may have been deleted meanwhile; the saved one is put back either way.
    static_cast<DcState&>(*dc) = dc->saved[static_cast<std::size_t>(level - 1)];
    dc->saved.resize(static_cast<std::size_t>(level - 1));
    return TRUE;
}

COLORREF SetBkColor(HDC hdc, COLORREF color)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return CLR_INVALID;
    return std::exchange(dc->bkColor, color);
}

HPEN CreatePen(int fnPenStyle, int nWidth, COLORREF crColor)
{
    if (fnPenStyle != PS_SOLID && fnPenStyle != PS_NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* pen = new GdiObject{GdiObject::Kind::Pen, false, fnPenStyle == PS_NULL, crColor};
    pen->penWidth = std::max(nWidth, 1);
    return reinterpret_cast<HPEN>(handset::gdi::keep(pen));
}

BOOL MoveToEx(HDC hdc, int X, int Y, POINT* lpPoint)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return FALSE;
    if (lpPoint)
        *lpPoint = dc->position;
    dc->position = {X, Y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int nXEnd, int nYEnd)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return FALSE;
    const POINT from = dc->position;
    dc->position = {nXEnd, nYEnd};
    GdiObject* pen = object(dc->pen);
    if (!pen || pen->nullBrush || (from.x == nXEnd && from.y == nYEnd))
        return TRUE;
    QPainter painter;
    QRect area;
    if (!handset::gdi::openPainter(dc, painter, area))
        return TRUE;
    // The end point is not part of the line, as on the phone: the pixel
    // before it is the last one drawn.
    const int dx = nXEnd - from.x, dy = nYEnd - from.y;
    const int steps = std::max(std::abs(dx), std::abs(dy));
    const QPointF last(from.x + dx * (steps - 1.0) / steps, from.y + dy * (steps - 1.0) / steps);
    QPen qpen(handset::gdi::qcolor(pen->color));
    qpen.setWidth(pen->penWidth);
    qpen.setCapStyle(Qt::SquareCap);
    painter.setPen(qpen);
    if (pen->penWidth == 1)
        painter.drawLine(QPointF(from.x, from.y), QPointF(std::round(last.x()), std::round(last.y())));
    else
        painter.drawLine(QPointF(from.x, from.y), last);
    return TRUE;
}

BOOL GetTextExtentPoint32(HDC hdc, LPCWSTR lpString, int c, LPSIZE lpSize)
{
    HDC__* dc = context(hdc);
    if (!dc || !lpString || !lpSize || c < 0)
        return FALSE;
    const QFontMetrics metrics(handset::gdi::contextFont(dc));
    const QString text = QString::fromUtf16(lpString, c);
    lpSize->cx = metrics.horizontalAdvance(text);
    lpSize->cy = metrics.height();
    return TRUE;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT uObjectType)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return nullptr;
    switch (uObjectType) {
    case OBJ_FONT: return dc->font;
    case OBJ_PEN: return dc->pen;
    case OBJ_BITMAP: return dc->memory ? dc->bitmap : nullptr;
    default: return nullptr;
    }
}
