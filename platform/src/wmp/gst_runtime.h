// GStreamer, started once per process for the media area.
#pragma once

#include <string>

namespace handset::wmp {

// Initialises GStreamer the first time it is called; later calls only
// report the outcome. False when GStreamer cannot start, with the reason in
// *why when given.
bool ensureGStreamer(std::string* why = nullptr);

}  // namespace handset::wmp
