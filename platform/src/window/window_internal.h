// What the window, drawing and resource files of the window layer share.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>

#include <memory>
#include <string>
#include <vector>

#include <handset/gdi.h>

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

}  // namespace handset::window
