// Resource and control ids of the About box and of the program's bitmaps.
#pragma once

namespace tonquil::about {

// The program's icon group.
constexpr unsigned IDI_TONQUIL = 102;

// The About box's dialog template.
constexpr unsigned IDD_ABOUTBOX = 138;

// The About box's controls.
constexpr unsigned IDC_ABOUT_PRODUCT = 1052;
constexpr unsigned IDC_ABOUT_PLATFORM = 1053;
constexpr unsigned IDC_ABOUT_VERSION = 1054;
constexpr unsigned IDC_ABOUT_VENDOR = 1055;
constexpr unsigned IDC_ABOUT_LINK = 1012;

// Bitmaps. The list marks and their masks (a dialog and a bitmap may share
// an id: they are resources of different types).
constexpr unsigned IDB_NOTE = 138;
constexpr unsigned IDB_ENVELOPE = 139;
constexpr unsigned IDB_NOTE_MASK = 165;
constexpr unsigned IDB_ENVELOPE_MASK = 166;
// The Play and Stop buttons of the tone selectors.
constexpr unsigned IDB_PLAY = 154;
constexpr unsigned IDB_PLAY_FOCUS = 155;
constexpr unsigned IDB_PLAY_PRESSED = 156;
constexpr unsigned IDB_STOP = 171;
constexpr unsigned IDB_STOP_FOCUS = 172;
constexpr unsigned IDB_STOP_PRESSED = 173;
// A contact without a picture.
constexpr unsigned IDB_NO_PICTURE = 143;
// The vendor's logo and the link to the vendor's web site.
constexpr unsigned IDB_LOGO = 150;
constexpr unsigned IDB_LINK = 151;

}  // namespace tonquil::about
