// Device contexts and drawing over QPainter on the top-level window's
// surface. A painter is opened for each drawing call, so that contexts can
// nest (an item draws the watermark its parent paints into the item's
// context) without two painters on one surface.
#include <handset/gdi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <cstring>
#include <utility>
#include <mutex>
#include <set>

#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include <handset/errors.h>
#include <handset/wstring.h>

#include "gdi_internal.h"
#include "window_internal.h"

namespace {

constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 320;
constexpr int kDotsPerInch = 96;

std::mutex gMutex;
std::set<const void*>& liveObjects()
{
    static std::set<const void*> set;
    return set;
}

GdiObject* makeStockBrush(COLORREF color, bool null = false)
{
    auto* brush = new GdiObject{GdiObject::Kind::Brush, true, null, color, {}};
    liveObjects().insert(brush);
    return brush;
}

GdiObject* systemFont()
{
    static GdiObject* font = [] {
        std::lock_guard lock(gMutex);
        auto* f = new GdiObject{GdiObject::Kind::Font, true, false, 0, {}};
        f->font.lfHeight = -12;
        f->font.lfWeight = FW_NORMAL;
        const std::u16string face = u"Tahoma";
        std::copy(face.begin(), face.end(), f->font.lfFaceName);
        liveObjects().insert(f);
        return f;
    }();
    return font;
}

GdiObject* object(HGDIOBJ handle)
{
    std::lock_guard lock(gMutex);
    return liveObjects().count(handle) ? static_cast<GdiObject*>(handle) : nullptr;
}

GdiObject* brushObject(HBRUSH brush)
{
    GdiObject* o = object(brush);
    return o && o->kind == GdiObject::Kind::Brush ? o : nullptr;
}

std::set<HDC>& liveContexts()
{
    static std::set<HDC> set;
    return set;
}

HDC__* context(HDC hdc)
{
    std::lock_guard lock(gMutex);
    return liveContexts().count(hdc) ? hdc : nullptr;
}

HDC makeContext(HWND hwnd)
{
    auto* dc = new HDC__;
    dc->hwnd = hwnd;
    dc->font = systemFont();
    dc->pen = handset::gdi::blackPen();
    std::lock_guard lock(gMutex);
    liveContexts().insert(dc);
    return dc;
}

void freeContext(HDC hdc)
{
    std::lock_guard lock(gMutex);
    if (liveContexts().erase(hdc))
        delete hdc;
}

QColor qcolor(COLORREF c)
{
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

// The image a memory or image context draws on, null for a window's.
QImage* contextImage(HDC__* dc)
{
    if (dc->target)
        return dc->target;
    if (dc->memory && dc->bitmap)
        return &dc->bitmap->image;
    return nullptr;
}

// A bitmap's pixels as they look, for reading. A section's are copied out
// of its memory each time, since its maker may have written there since.
const QImage& bitmapPixels(GdiObject* bitmap)
{
    if (!bitmap->bits)
        return bitmap->image;
    bitmap->view = (bitmap->bottomUp ? bitmap->image.mirrored() : bitmap->image.copy())
                       .convertToFormat(QImage::Format_RGB32);
    return bitmap->view;
}

// The pixels a memory or image context shows, for reading; null for a window's.
const QImage* contextPixels(HDC__* dc)
{
    if (dc->target)
        return dc->target;
    if (dc->memory && dc->bitmap)
        return &bitmapPixels(dc->bitmap);
    return nullptr;
}

// A painter on the context's window, translated to the window's origin and
// clipped to it. False when the context draws nowhere (the screen context,
// a dead window).
bool openPainter(HDC__* dc, QPainter& painter, QRect& windowArea)
{
    if (QImage* image = contextImage(dc)) {
        windowArea = image->rect();
        if (!painter.begin(image))
            return false;
        // A bottom-up section's memory holds the picture upside down.
        if (dc->memory && dc->bitmap && dc->bitmap->bottomUp)
            painter.setTransform(QTransform(1, 0, 0, -1, 0, image->height()));
        return true;
    }
    if (!dc->hwnd || !handset::window::isLive(dc->hwnd))
        return false;
    QPoint origin;
    HWND owner = handset::window::surfaceOwner(dc->hwnd, origin);
    if (!owner || !owner->surface)
        return false;
    RECT rc;
    GetClientRect(dc->hwnd, &rc);
    windowArea = QRect(0, 0, rc.right, rc.bottom);
    if (!painter.begin(owner->surface.get()))
        return false;
    painter.translate(origin);
    painter.setClipRect(windowArea);
    return true;
}

QFont qfont(const LOGFONTW& lf)
{
    handset::window::ensureGuiApplication();
    QFont font(QStringLiteral("DejaVu Sans"));
    // A negative height is the characters' height, a positive one the cell's.
    int pixels = lf.lfHeight < 0 ? -lf.lfHeight : (lf.lfHeight > 0 ? std::max(1, lf.lfHeight * 4 / 5) : 12);
    font.setPixelSize(std::max(pixels, 1));
    font.setWeight(lf.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    // Quality 4 (antialiased) is what bold headings ask for.
    if (lf.lfQuality == 4)
        font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// The 1 x 1 stock bitmap a new memory context holds.
GdiObject* defaultBitmap()
{
    static GdiObject* bitmap = [] {
        std::lock_guard lock(gMutex);
        auto* b = new GdiObject{GdiObject::Kind::Bitmap, true, false, 0, {}};
        b->image = QImage(1, 1, QImage::Format_RGB32);
        b->image.fill(Qt::white);
        liveObjects().insert(b);
        return b;
    }();
    return bitmap;
}

GdiObject* makeBitmapObject(QImage image)
{
    auto* bitmap = new GdiObject{GdiObject::Kind::Bitmap, false, false, 0, {}};
    bitmap->image = image.convertToFormat(QImage::Format_RGB32);
    std::lock_guard lock(gMutex);
    liveObjects().insert(bitmap);
    return bitmap;
}

QPainter::CompositionMode rasterMode(DWORD rop)
{
    switch (rop) {
    case SRCAND: return QPainter::RasterOp_SourceAndDestination;
    case SRCPAINT: return QPainter::RasterOp_SourceOrDestination;
    case SRCINVERT: return QPainter::RasterOp_SourceXorDestination;
    case NOTSRCCOPY: return QPainter::RasterOp_NotSource;
    case MERGEPAINT: return QPainter::RasterOp_NotSourceOrDestination;
    default: return QPainter::CompositionMode_Source;
    }
}

}  // namespace

namespace handset::gdi {

std::mutex& tableMutex()
{
    return gMutex;
}

GdiObject* keep(GdiObject* o)
{
    std::lock_guard lock(gMutex);
    liveObjects().insert(o);
    return o;
}

GdiObject* object(HGDIOBJ handle)
{
    return ::object(handle);
}

HDC__* context(HDC hdc)
{
    return ::context(hdc);
}

QColor qcolor(COLORREF c)
{
    return ::qcolor(c);
}

QFont qfont(const LOGFONTW& lf)
{
    return ::qfont(lf);
}

QFont contextFont(HDC__* dc)
{
    GdiObject* font = ::object(dc->font);
    return ::qfont(font ? font->font : systemFont()->font);
}

bool openPainter(HDC__* dc, QPainter& painter, QRect& windowArea)
{
    return ::openPainter(dc, painter, windowArea);
}

}  // namespace handset::gdi

namespace handset::window {

HDC makeImageContext(QImage* image)
{
    HDC hdc = makeContext(nullptr);
    hdc->target = image;
    return hdc;
}

void freeImageContext(HDC hdc)
{
    freeContext(hdc);
}

HBITMAP makeBitmap(const QImage& image)
{
    return reinterpret_cast<HBITMAP>(makeBitmapObject(image));
}

const QImage* bitmapImage(HBITMAP bitmap)
{
    GdiObject* o = object(bitmap);
    return o && o->kind == GdiObject::Kind::Bitmap ? &bitmapPixels(o) : nullptr;
}

bool drawImage(HDC hdc, const QRect& target, const QImage& image, const QRect& source)
{
    HDC__* dc = context(hdc);
    QPainter painter;
    QRect area;
    if (!dc || image.isNull() || !openPainter(dc, painter, area))
        return false;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, image, source);
    return true;
}

QFont qtFont(const LOGFONTW& lf)
{
    return qfont(lf);
}

LOGFONTW systemLogFont()
{
    return systemFont()->font;
}

}  // namespace handset::window

HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint)
{
    if (!handset::window::isLive(hWnd) || !lpPaint) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HDC hdc = makeContext(hWnd);
    hWnd->painting.clear();
    *lpPaint = {};
    lpPaint->hdc = hdc;
    GetClientRect(hWnd, &lpPaint->rcPaint);
    hWnd->needsPaint = false;
    if (hWnd->needsErase) {
        hWnd->needsErase = false;
        lpPaint->fErase = SendMessage(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
    }
    return hdc;
}

BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint)
{
    if (!lpPaint || !context(lpPaint->hdc))
        return FALSE;
    if (handset::window::isLive(hWnd))
        hWnd->painted = hWnd->painting;
    freeContext(lpPaint->hdc);
    return TRUE;
}

HDC GetDC(HWND hWnd)
{
    if (hWnd && !handset::window::isLive(hWnd))
        return nullptr;
    return makeContext(hWnd);
}

int ReleaseDC(HWND, HDC hDC)
{
    if (!context(hDC))
        return 0;
    freeContext(hDC);
    return 1;
}

int SetBkMode(HDC hdc, int mode)
{
    HDC__* dc = context(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    return std::exchange(dc->bkMode, mode);
}

COLORREF SetTextColor(HDC hdc, COLORREF color)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return CLR_INVALID;
    return std::exchange(dc->textColor, color);
}

HGDIOBJ GetStockObject(int i)
{
    static GdiObject* white = [] { std::lock_guard l(gMutex); return makeStockBrush(RGB(255, 255, 255)); }();
    static GdiObject* ltgray = [] { std::lock_guard l(gMutex); return makeStockBrush(RGB(192, 192, 192)); }();
    static GdiObject* gray = [] { std::lock_guard l(gMutex); return makeStockBrush(RGB(128, 128, 128)); }();
    static GdiObject* dkgray = [] { std::lock_guard l(gMutex); return makeStockBrush(RGB(64, 64, 64)); }();
    static GdiObject* black = [] { std::lock_guard l(gMutex); return makeStockBrush(RGB(0, 0, 0)); }();
    static GdiObject* none = [] { std::lock_guard l(gMutex); return makeStockBrush(0, true); }();
    switch (i) {
    case WHITE_BRUSH: return white;
    case LTGRAY_BRUSH: return ltgray;
    case GRAY_BRUSH: return gray;
    case DKGRAY_BRUSH: return dkgray;
    case BLACK_BRUSH: return black;
    case NULL_BRUSH: return none;
    case WHITE_PEN:
    case BLACK_PEN:
    case NULL_PEN: return handset::gdi::stockPen(i);
    case SYSTEM_FONT: {
            return systemFont();
    }
    default: return nullptr;
    }
}

HFONT CreateFontIndirect(const LOGFONTW* lplf)
{
    if (!lplf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* font = new GdiObject{GdiObject::Kind::Font, false, false, 0, *lplf};
    font->font.lfFaceName[LF_FACESIZE - 1] = 0;
    std::lock_guard lock(gMutex);
    liveObjects().insert(font);
    return reinterpret_cast<HFONT>(font);
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    auto* brush = new GdiObject{GdiObject::Kind::Brush, false, false, color, {}};
    std::lock_guard lock(gMutex);
    liveObjects().insert(brush);
    return reinterpret_cast<HBRUSH>(brush);
}

int GetObject(HGDIOBJ hgdiobj, int cbBuffer, LPVOID lpvObject)
{
    GdiObject* o = object(hgdiobj);
    if (o && o->kind == GdiObject::Kind::Bitmap) {
        constexpr int size = sizeof(BITMAP);
        if (!lpvObject)
            return size;
        if (cbBuffer < size)
            return 0;
        BITMAP bm{0, o->image.width(), o->image.height(), o->image.width() * 4, 1, 32, nullptr};
        if (o->bits) {
            bm.bmWidthBytes = static_cast<LONG>(o->image.bytesPerLine());
            bm.bmBitsPixel = static_cast<WORD>(o->image.depth());
            bm.bmBits = o->bits.get();
        }
        std::memcpy(lpvObject, &bm, size);
        return size;
    }
    if (!o || o->kind != GdiObject::Kind::Font)
        return 0;
    constexpr int size = sizeof(LOGFONTW);
    if (!lpvObject)
        return size;
    if (cbBuffer < size)
        return 0;
    std::memcpy(lpvObject, &o->font, size);
    return size;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ hgdiobj)
{
    HDC__* dc = context(hdc);
    GdiObject* o = object(hgdiobj);
    if (!dc || !o)
        return nullptr;
    if (o->kind == GdiObject::Kind::Font)
        return std::exchange(dc->font, o);
    if (o->kind == GdiObject::Kind::Pen)
        return std::exchange(dc->pen, o);
    if (o->kind == GdiObject::Kind::Bitmap) {
        // Only a memory context holds a bitmap, and a bitmap sits in one at a time.
        // (The stock 1 x 1 bitmap is every new memory context's.)
        if (!dc->memory || (!o->stock && o->selections > 0 && dc->bitmap != o))
            return nullptr;
        std::lock_guard lock(gMutex);
        GdiObject* previous = dc->bitmap;
        if (previous != o) {
            if (!o->stock)
                ++o->selections;
            if (previous && !previous->stock)
                --previous->selections;
        }
        dc->bitmap = o;
        return previous ? static_cast<HGDIOBJ>(previous) : static_cast<HGDIOBJ>(defaultBitmap());
    }
    // Brushes are given to FillRect directly; selecting one changes nothing drawn here.
    return GetStockObject(WHITE_BRUSH);
}

BOOL DeleteObject(HGDIOBJ hObject)
{
    std::lock_guard lock(gMutex);
    auto* o = static_cast<GdiObject*>(hObject);
    if (!liveObjects().count(hObject) || o->stock)
        return FALSE;
    // A bitmap still selected into a context cannot go, as on the phone.
    if (o->kind == GdiObject::Kind::Bitmap && o->selections > 0)
        return FALSE;
    liveObjects().erase(hObject);
    delete o;
    return TRUE;
}

int DrawText(HDC hDC, LPCWSTR lpString, int nCount, LPRECT lpRect, UINT uFormat)
{
    HDC__* dc = context(hDC);
    if (!dc || !lpString || !lpRect)
        return 0;
    const std::size_t length = nCount < 0 ? handset::wideLength(lpString) : static_cast<std::size_t>(nCount);
    const std::u16string_view text(lpString, length);
    GdiObject* fontObject = object(dc->font);
    const QFont font = qfont(fontObject ? fontObject->font : systemFont()->font);
    const QString qtext = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));

    int flags = 0;
    flags |= (uFormat & DT_CENTER) ? Qt::AlignHCenter : (uFormat & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
    if (uFormat & DT_SINGLELINE)
        flags |= (uFormat & DT_VCENTER) ? Qt::AlignVCenter : (uFormat & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
    else
        flags |= Qt::AlignTop;
    if ((uFormat & DT_WORDBREAK) && !(uFormat & DT_SINGLELINE))
        flags |= Qt::TextWordWrap;
    if (uFormat & DT_SINGLELINE)
        flags |= Qt::TextSingleLine;

    const QRect area(lpRect->left, lpRect->top, lpRect->right - lpRect->left, lpRect->bottom - lpRect->top);
    const QFontMetrics metrics(font);
    QString shown = qtext;
    if ((uFormat & DT_END_ELLIPSIS) && (uFormat & DT_SINGLELINE))
        shown = metrics.elidedText(qtext, Qt::ElideRight, area.width());
    const QRect bounds = metrics.boundingRect(area, flags, shown);

    if (uFormat & DT_CALCRECT) {
        lpRect->right = lpRect->left + bounds.width();
        lpRect->bottom = lpRect->top + bounds.height();
        return bounds.height();
    }
    if (dc->hwnd)
        handset::window::notePaintedText(dc->hwnd, text);
    QPainter painter;
    QRect windowArea;
    if (openPainter(dc, painter, windowArea)) {
        if (!(uFormat & DT_NOCLIP))
            painter.setClipRect(area.intersected(windowArea));
        painter.setFont(font);
        if (dc->bkMode == OPAQUE)
            painter.fillRect(bounds, qcolor(dc->bkColor));
        painter.setPen(qcolor(dc->textColor));
        painter.drawText(area, flags, shown);
    }
    return bounds.height();
}

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr)
{
    HDC__* dc = context(hDC);
    GdiObject* brush = brushObject(hbr);
    if (!dc || !lprc || !brush)
        return 0;
    if (brush->nullBrush)
        return 1;
    QPainter painter;
    QRect windowArea;
    if (!openPainter(dc, painter, windowArea))
        return 0;
    painter.fillRect(QRect(lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top),
                     qcolor(brush->color));
    return 1;
}

BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon)
{
    HDC__* dc = context(hDC);
    if (!dc || !hIcon || hIcon->image.isNull())
        return FALSE;
    QPainter painter;
    QRect windowArea;
    if (!openPainter(dc, painter, windowArea))
        return FALSE;
    painter.drawImage(QPoint(X, Y), hIcon->image);
    return TRUE;
}

HBITMAP LoadBitmap(HINSTANCE hInstance, LPCWSTR lpBitmapName)
{
    if (!lpBitmapName || !IS_INTRESOURCE(lpBitmapName)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    const auto id = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(lpBitmapName));
    const handset::ResourceEntry* entry = handset::window::findResource(hInstance, handset::window::kBitmapResource, id);
    handset::window::ensureGuiApplication();
    const QImage image = entry ? QImage::fromData(entry->data, static_cast<int>(entry->length)) : QImage();
    if (image.isNull()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HBITMAP>(makeBitmapObject(image));
}

HBITMAP CreateCompatibleBitmap(HDC, int cx, int cy)
{
    if (cx < 1 || cy < 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    QImage image(cx, cy, QImage::Format_RGB32);
    image.fill(Qt::white);
    return reinterpret_cast<HBITMAP>(makeBitmapObject(image));
}

HDC CreateCompatibleDC(HDC hdc)
{
    if (hdc && !context(hdc))
        return nullptr;
    HDC dc = makeContext(nullptr);
    dc->memory = true;
    GdiObject* stock = defaultBitmap();
    std::lock_guard lock(gMutex);
    dc->bitmap = stock;
    return dc;
}

BOOL DeleteDC(HDC hdc)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return FALSE;
    {
        std::lock_guard lock(gMutex);
        if (dc->memory && dc->bitmap && !dc->bitmap->stock)
            --dc->bitmap->selections;
    }
    freeContext(hdc);
    return TRUE;
}

BOOL BitBlt(HDC hdc, int x, int y, int nWidth, int nHeight, HDC hdcSrc, int x1, int y1, DWORD rop)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return FALSE;
    const bool fill = rop == BLACKNESS || rop == WHITENESS;
    if (!fill && rop != SRCCOPY && rop != SRCAND && rop != SRCPAINT && rop != SRCINVERT && rop != NOTSRCCOPY &&
        rop != MERGEPAINT)
        return FALSE;
    HDC__* src = fill ? nullptr : context(hdcSrc);
    const QImage* source = src ? contextPixels(src) : nullptr;
    if (!fill && !source)
        return FALSE;
    if (nWidth <= 0 || nHeight <= 0)
        return TRUE;
    // The source part, black where it lies outside the source's pixels.
    QImage part(nWidth, nHeight, QImage::Format_RGB32);
    part.fill(rop == WHITENESS ? Qt::white : Qt::black);
    if (!fill) {
        QPainter copier(&part);
        copier.setCompositionMode(QPainter::CompositionMode_Source);
        copier.drawImage(QPoint(-x1, -y1), *source);
    }
    QPainter painter;
    QRect area;
    if (!openPainter(dc, painter, area))
        return FALSE;
    painter.setCompositionMode(fill ? QPainter::CompositionMode_Source : rasterMode(rop));
    painter.drawImage(QPoint(x, y), part);
    return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y)
{
    HDC__* dc = context(hdc);
    if (!dc)
        return CLR_INVALID;
    const QImage* image = contextPixels(dc);
    QPoint origin;
    if (!image && dc->hwnd && handset::window::isLive(dc->hwnd)) {
        HWND owner = handset::window::surfaceOwner(dc->hwnd, origin);
        image = owner ? owner->surface.get() : nullptr;
        RECT rc;
        GetClientRect(dc->hwnd, &rc);
        if (x < 0 || y < 0 || x >= rc.right || y >= rc.bottom)
            return CLR_INVALID;
    }
    if (!image || !image->rect().contains(origin + QPoint(x, y)))
        return CLR_INVALID;
    const QRgb pixel = image->pixel(origin + QPoint(x, y));
    return RGB(qRed(pixel), qGreen(pixel), qBlue(pixel));
}

int GetDeviceCaps(HDC hdc, int nIndex)
{
    if (!context(hdc))
        return 0;
    switch (nIndex) {
    case LOGPIXELSX:
    case LOGPIXELSY:
        return kDotsPerInch;
    case HORZRES:
        return kScreenWidth;
    case VERTRES:
        return kScreenHeight;
    case BITSPIXEL:
        return 16;
    case PLANES:
        return 1;
    default:
        return 0;
    }
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* pbmi, UINT iUsage, void** ppvBits, HANDLE hSection, DWORD)
{
    if (ppvBits)
        *ppvBits = nullptr;
    const BITMAPINFOHEADER* h = pbmi ? &pbmi->bmiHeader : nullptr;
    if (!h || !ppvBits || hSection || iUsage != DIB_RGB_COLORS || h->biSize < sizeof(BITMAPINFOHEADER) ||
        h->biWidth <= 0 || h->biHeight == 0 || h->biHeight == INT32_MIN || h->biPlanes != 1 ||
        (h->biBitCount != 24 && h->biBitCount != 32) || h->biCompression != BI_RGB) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const long long width = h->biWidth;
    const long long height = h->biHeight < 0 ? -static_cast<long long>(h->biHeight) : h->biHeight;
    const long long stride = (width * h->biBitCount + 31) / 32 * 4;
    constexpr long long kMaxBytes = 256LL * 1024 * 1024;
    if (stride * height > kMaxBytes) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::unique_ptr<uchar[]> bits(new (std::nothrow) uchar[static_cast<std::size_t>(stride * height)]());
    if (!bits) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Blue, green, red in memory is Qt's BGR888; at 32 bits, RGB32 on a
    // little-endian machine.
    const QImage::Format format = h->biBitCount == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32;
    auto* bitmap = new GdiObject{GdiObject::Kind::Bitmap, false, false, 0, {}};
    bitmap->image = QImage(bits.get(), static_cast<int>(width), static_cast<int>(height), stride, format);
    bitmap->bottomUp = h->biHeight > 0;
    *ppvBits = bits.get();
    bitmap->bits = std::move(bits);
    std::lock_guard lock(gMutex);
    liveObjects().insert(bitmap);
    return reinterpret_cast<HBITMAP>(bitmap);
}

int MulDiv(int nNumber, int nNumerator, int nDenominator)
{
    if (nDenominator == 0)
        return -1;
    const long long product = static_cast<long long>(nNumber) * nNumerator;
    const bool negative = (product < 0) != (nDenominator < 0);
    const long long magnitude = std::llabs(product);
    const long long divisor = std::llabs(static_cast<long long>(nDenominator));
    const long long result = (magnitude + divisor / 2) / divisor;
    if (result > 0x7FFFFFFFLL)
        return -1;
    return static_cast<int>(negative ? -result : result);
}

namespace handset {

bool saveWindowSurface(HWND topLevel, const std::string& hostPath)
{
    if (!window::isLive(topLevel) || !topLevel->surface)
        return false;
    return topLevel->surface->save(QString::fromStdString(hostPath), "PNG");
}

bool copyWindowSurface(HWND topLevel, std::vector<std::uint32_t>& pixels, int& width, int& height)
{
    if (!window::isLive(topLevel) || !topLevel->surface)
        return false;
    const QImage image = topLevel->surface->convertToFormat(QImage::Format_RGB32);
    width = image.width();
    height = image.height();
    pixels.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        std::memcpy(pixels.data() + static_cast<std::size_t>(y) * width, image.constScanLine(y),
                    static_cast<std::size_t>(width) * 4);
    return true;
}

}  // namespace handset
