// Drawing: device contexts, stock objects, fonts, text, rectangles, icons,
// and the screen's resolution. Device contexts of a window draw on the
// surface of its top-level window, clipped to the window.
#pragma once

#include <handset/window.h>

struct HDC__;
using HDC = HDC__*;
// Any drawing object (a font, a brush); the kinds convert to it, as on the phone.
using HGDIOBJ = void*;
struct HFONT__;
using HFONT = HFONT__*;
struct HBITMAP__;
using HBITMAP = HBITMAP__*;
struct HPEN__;
using HPEN = HPEN__*;
using COLORREF = DWORD;

constexpr COLORREF RGB(int r, int g, int b)
{
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c) { return c & 0xFF; }
constexpr int GetGValue(COLORREF c) { return (c >> 8) & 0xFF; }
constexpr int GetBValue(COLORREF c) { return (c >> 16) & 0xFF; }

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

constexpr int LF_FACESIZE = 32;
struct LOGFONTW {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};
using LOGFONT = LOGFONTW;

// Stock objects.
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int WHITE_PEN = 6;
constexpr int BLACK_PEN = 7;
constexpr int NULL_PEN = 8;
constexpr int SYSTEM_FONT = 13;

// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// GetDeviceCaps indexes.
constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;

// DrawText formats.
constexpr UINT DT_TOP = 0x0000;
constexpr UINT DT_LEFT = 0x0000;
constexpr UINT DT_CENTER = 0x0001;
constexpr UINT DT_RIGHT = 0x0002;
constexpr UINT DT_VCENTER = 0x0004;
constexpr UINT DT_BOTTOM = 0x0008;
constexpr UINT DT_WORDBREAK = 0x0010;
constexpr UINT DT_SINGLELINE = 0x0020;
constexpr UINT DT_NOCLIP = 0x0100;
constexpr UINT DT_CALCRECT = 0x0400;
constexpr UINT DT_NOPREFIX = 0x0800;
constexpr UINT DT_END_ELLIPSIS = 0x8000;

constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;

// Starts painting the window: a device context clipped to the window, the
// erase (WM_ERASEBKGND) sent first when one was asked for, and the window
// counted as painted. Null for a dead window.
HDC BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint);
BOOL EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint);

// A device context of a window (null: the screen, 240 x 320 at 96 dots per
// inch); release it with ReleaseDC.
HDC GetDC(HWND hWnd);
int ReleaseDC(HWND hWnd, HDC hDC);

// The previous mode; 0 for a bad context or mode.
int SetBkMode(HDC hdc, int mode);
// The previous colour; 0xFFFFFFFF (CLR_INVALID) for a bad context.
COLORREF SetTextColor(HDC hdc, COLORREF color);
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;

// The stock object, null for an unknown index. Stock objects are never deleted.
HGDIOBJ GetStockObject(int i);

// A font from its description; delete it with DeleteObject.
HFONT CreateFontIndirect(const LOGFONTW* lplf);

// A solid brush; delete it with DeleteObject.
HBRUSH CreateSolidBrush(COLORREF color);

// Copies the description of a font (LOGFONT) or bitmap (BITMAP) into
// lpvObject: the number of bytes copied, or the size needed when lpvObject
// is null; 0 on error.
int GetObject(HGDIOBJ hgdiobj, int cbBuffer, LPVOID lpvObject);

// Selects a font, or for a memory context a bitmap, into the context; the
// previously selected one, null on error.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ hgdiobj);

// Deletes a font, brush or bitmap that is not a stock object (a bitmap
// selected into a context stays until it is put out). FALSE otherwise.
BOOL DeleteObject(HGDIOBJ hObject);

// Draws text in the rectangle with the selected font and text colour,
// aligned by the DT_ flags (one line unless DT_WORDBREAK; DT_CALCRECT only
// measures, setting the rectangle's right and bottom). nCount -1: up to the
// terminator. Returns the text's height, 0 on error.
int DrawText(HDC hDC, LPCWSTR lpString, int nCount, LPRECT lpRect, UINT uFormat);

// Fills the rectangle with the brush. Nonzero on success.
int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr);

// Draws the icon in its natural size with its top left corner at (X, Y).
BOOL DrawIcon(HDC hDC, int X, int Y, HICON hIcon);

// LOGPIXELSX and LOGPIXELSY (96), HORZRES (240), VERTRES (320), BITSPIXEL
// (16, the colour depth of the phone's display) and PLANES (1).
int GetDeviceCaps(HDC hdc, int nIndex);

// nNumber * nNumerator / nDenominator rounded to the nearest integer, halves
// away from zero (the product is exact in 64 bits); -1 when nDenominator is 0.
int MulDiv(int nNumber, int nNumerator, int nDenominator);

// A bitmap's description, as GetObject gives it.
struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

// Raster operations of BitBlt.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD NOTSRCCOPY = 0x00330008;
constexpr DWORD MERGEPAINT = 0x00BB0226;  // (NOT source) OR destination
constexpr DWORD BLACKNESS = 0x00000042;
constexpr DWORD WHITENESS = 0x00FF0062;

// Loads the BITMAP resource lpBitmapName of the module (null: the program)
// as a 32-bit bitmap; delete it with DeleteObject. Null
// (ERROR_RESOURCE_NAME_NOT_FOUND) when there is none or it does not decode.
HBITMAP LoadBitmap(HINSTANCE hInstance, LPCWSTR lpBitmapName);

// A white bitmap of the size; delete it with DeleteObject. Null for a size below 1.
HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);

// A memory context (its bitmap 1 x 1 until one is selected); delete it
// with DeleteDC. hdc may be null (the screen).
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);

// Copies nWidth x nHeight pixels from (x1, y1) of hdcSrc to (x, y) of hdc
// with the raster operation (SRCCOPY, SRCAND, SRCPAINT, SRCINVERT,
// NOTSRCCOPY, MERGEPAINT; BLACKNESS and WHITENESS take no source). A mask
// (black where a mark is, white elsewhere) copied with MERGEPAINT and then
// the mark (on white) with SRCAND leave only the mark's shape over whatever
// was there. Nothing is
// stretched; pixels outside the source come out as the operation makes of
// black. FALSE for a bad context or operation.
BOOL BitBlt(HDC hdc, int x, int y, int nWidth, int nHeight, HDC hdcSrc, int x1, int y1, DWORD rop);

// The colour of one pixel, CLR_INVALID outside the context's area.
COLORREF GetPixel(HDC hdc, int x, int y);

// ---- Colours of the system, the state of a context, pens and lines, text extents --

// GetSysColor indexes.
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_GRAYTEXT = 17;

// The colour of a part of the screen (COLOR_WINDOW: white, COLOR_WINDOWTEXT:
// black, COLOR_HIGHLIGHT: the selection's blue, COLOR_HIGHLIGHTTEXT:
// white, COLOR_BTNFACE: light grey, COLOR_GRAYTEXT: grey); 0 for an index
// the phone does not have.
COLORREF GetSysColor(int nIndex);

// Pushes the context's state (colours, background mode, font, pen, current
// position) and returns its level (1 for the first), 0 for a bad context.
int SaveDC(HDC hdc);
// Puts back the state of level nSavedDC (negative: that many levels up;
// -1 the last one saved) and drops the levels above it. FALSE for a bad
// context or a level that was not saved.
BOOL RestoreDC(HDC hdc, int nSavedDC);

// The previous background colour (OPAQUE text is drawn over it); CLR_INVALID
// for a bad context.
COLORREF SetBkColor(HDC hdc, COLORREF color);

// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_NULL = 5;
// A pen of the style (PS_SOLID, PS_NULL), width (0 counts as 1) and colour;
// delete it with DeleteObject. Null for another style.
HPEN CreatePen(int fnPenStyle, int nWidth, COLORREF crColor);

// Moves the current position; the previous one in lpPoint when not null.
BOOL MoveToEx(HDC hdc, int X, int Y, POINT* lpPoint);
// Draws a line with the selected pen from the current position up to, but
// not including, (nXEnd, nYEnd), which becomes the current position.
BOOL LineTo(HDC hdc, int nXEnd, int nYEnd);

struct SIZE {
    LONG cx;
    LONG cy;
};
using LPSIZE = SIZE*;
// The width and height of the text's single line in the selected font.
BOOL GetTextExtentPoint32(HDC hdc, LPCWSTR lpString, int c, LPSIZE lpSize);

// GetCurrentObject kinds.
constexpr UINT OBJ_PEN = 1;
constexpr UINT OBJ_FONT = 6;
constexpr UINT OBJ_BITMAP = 7;
// The object of the kind selected into the context; null for a bad one.
HGDIOBJ GetCurrentObject(HDC hdc, UINT uObjectType);

// ---------------------------------------------------------------------------
// Device-independent bitmaps

struct BITMAPINFOHEADER {
    DWORD biSize;          // sizeof(BITMAPINFOHEADER)
    LONG biWidth;
    LONG biHeight;         // positive: rows from the bottom up; negative: from the top down
    WORD biPlanes;         // 1
    WORD biBitCount;       // 24 or 32 here
    DWORD biCompression;   // BI_RGB
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
using LPBITMAPINFOHEADER = BITMAPINFOHEADER*;

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
using LPBITMAPINFO = BITMAPINFO*;

constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;
constexpr UINT DIB_PAL_COLORS = 1;

// A bitmap whose pixels lie in memory the caller reads and writes: *ppvBits
// points at them, rows of (biWidth * biBitCount / 8) bytes padded to a
// multiple of 4, the bottom row first for a positive biHeight, each pixel
// blue, green, red (and an unused byte at 32 bits). The pixels start black.
// Drawing into a memory context that holds the bitmap changes that memory,
// and what the caller writes there is what BitBlt, GetPixel and a static
// control then show. Only uncompressed (BI_RGB) 24- and 32-bit bitmaps with
// DIB_RGB_COLORS and no section handle are made; anything else gives null
// with ERROR_INVALID_PARAMETER (ERROR_NOT_ENOUGH_MEMORY for a size beyond
// 256 MB), and *ppvBits null. hdc is not used and may be null. Delete it
// with DeleteObject, which frees the memory.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT iUsage, void** ppvBits, HANDLE hSection,
                         DWORD dwOffset);

namespace handset {

// Saves the surface of a top-level window as a PNG file (a host path).
bool saveWindowSurface(HWND topLevel, const std::string& hostPath);

// Copies the surface of a top-level window, row by row from the top, as
// pixels 0xFFRRGGBB; for a program that shows the window on a display.
bool copyWindowSurface(HWND topLevel, std::vector<std::uint32_t>& pixels, int& width, int& height);

}  // namespace handset
