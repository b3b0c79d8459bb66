// Control ids of the About box; its template, bitmaps and the program's
// icon are resources of the program (resource.h).
#pragma once

#include <resource.h>

namespace tonquil::about {

// The About box's controls.
constexpr unsigned IDC_ABOUT_PRODUCT = 1052;
constexpr unsigned IDC_ABOUT_PLATFORM = 1053;
constexpr unsigned IDC_ABOUT_VERSION = 1054;
constexpr unsigned IDC_ABOUT_VENDOR = 1055;
constexpr unsigned IDC_ABOUT_LINK = 1012;

}  // namespace tonquil::about
