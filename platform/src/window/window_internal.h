// What the window, drawing and resource files of the window layer share.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

#include <memory>
#include <string>
#include <vector>

#include <QFont>

#include <handset/gdi.h>
#include <handset/resources.h>

struct HWND__ {
    HWND parent = nullptr;
    std::vector<HWND> children;
    std::u16string className;
    WNDPROC proc = nullptr;
    HBRUSH background = nullptr;
    HINSTANCE instance = nullptr;
    DWORD style = 0;
    LONG_PTR userData = 0;
    std::u16string title;
    RECT rect{};  // in the parent's client coordinates
    bool alive = true;
    bool visible = false;
    bool needsPaint = false;
    bool needsErase = false;
    DWORD thread = 0;
    std::unique_ptr<QImage> surface;  // top-level windows only
    std::u16string painting;          // text drawn during the painting in progress
    std::u16string painted;           // text drawn during the last painting
};

struct HICON__ {
    QImage image;
};

namespace handset::window {

// Whether the window is alive (a handle to a destroyed window is not).
bool isLive(HWND hwnd);

// The top-level window whose surface the window draws on, and the window's
// origin on it.
HWND surfaceOwner(HWND hwnd, QPoint& origin);

// Makes sure a Qt application object exists, as text needs one: on the
// offscreen platform when there is no display.
void ensureGuiApplication();

// Notes text drawn into the window during its painting.
void notePaintedText(HWND hwnd, std::u16string_view text);

// Carries the settings-change broadcast to the device's Today screen when
// it runs (its socket); with waitForIt, returns once it has reloaded.
void tellTodayScreen(bool waitForIt);

// Resource types of the table handset_add_resources() makes.
constexpr unsigned kIconResource = 1;
constexpr unsigned kBitmapResource = 2;
constexpr unsigned kMenuResource = 4;
constexpr unsigned kDialogResource = 5;
constexpr unsigned kStringResource = 6;

// The module's resource of that type and id (null instance: the program);
// null when there is none.
const handset::ResourceEntry* findResource(HINSTANCE instance, unsigned type, unsigned id);

// A device context that draws on an image the caller owns (owner drawing of
// a widget); free it with freeImageContext.
HDC makeImageContext(QImage* image);
void freeImageContext(HDC hdc);

// A bitmap object holding the image, and a bitmap's pixels (null for a bad handle).
HBITMAP makeBitmap(const QImage& image);
const QImage* bitmapImage(HBITMAP bitmap);

// Draws the part `source` of the image into the rectangle `target` of the
// context, scaled smoothly; false for a bad context or a null image.
bool drawImage(HDC hdc, const QRect& target, const QImage& image, const QRect& source);

// The Qt font that a LOGFONT draws with, and the system font's description.
QFont qtFont(const LOGFONTW& lf);
LOGFONTW systemLogFont();

}  // namespace handset::window
