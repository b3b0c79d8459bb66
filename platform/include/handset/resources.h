// A module's resources: its strings, icons, bitmaps, menus and dialog
// templates, by id.
//
// A library or program keeps them in a resource description that a person
// edits (one line per resource, PNG files for the icon images; see
// platform/src/window/resources.cmake), compiled into the module by
// handset_add_resources(); the loader finds them by the module's instance.
#pragma once

#include <handset/window.h>

// A resource id given as a number in the place of a name.
inline LPCWSTR MAKEINTRESOURCE(unsigned id)
{
    return reinterpret_cast<LPCWSTR>(static_cast<std::uintptr_t>(id & 0xFFFF));
}
inline bool IS_INTRESOURCE(LPCWSTR name)
{
    return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0;
}

constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;

constexpr LONG ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr LONG ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;

// Copies string uID into lpBuffer (at most nBufferMax - 1 characters and a
// terminator); the number of characters copied, 0 when there is no such
// string (ERROR_RESOURCE_NAME_NOT_FOUND).
int LoadString(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int nBufferMax);

// Loads an icon of the icon group lpszName at cxDesired x cyDesired pixels:
// the group's image of that size, else its nearest larger (or largest)
// image scaled. 0 for either size: the image's own size. Null when there is
// no such icon (ERROR_RESOURCE_NAME_NOT_FOUND). Destroy it with DestroyIcon.
HANDLE LoadImage(HINSTANCE hinst, LPCWSTR lpszName, UINT uType, int cxDesired, int cyDesired, UINT fuLoad);

// The group's 32 x 32 image.
HICON LoadIcon(HINSTANCE hInstance, LPCWSTR lpIconName);

BOOL DestroyIcon(HICON hIcon);

namespace handset {

// The size of an icon, {0, 0} for a bad handle.
struct IconSize {
    int width = 0;
    int height = 0;
};
IconSize iconSize(HICON icon);

// One resource as handset_add_resources() compiles it into a module.
struct ResourceEntry {
    unsigned id;
    unsigned type;            // 1 icon image, 2 bitmap, 4 menu, 5 dialog, 6 string
    int size;                 // icon: the image's width; otherwise 0
    const unsigned char* data;  // PNG (or BMP) bytes, the menu or dialog block's text, or the string, in UTF-8
    unsigned length;
};

}  // namespace handset
