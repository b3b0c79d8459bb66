// How `handset today ...` talks to the running Today screen: one request
// per connection on the Unix socket run/today.sock, a line of words; the
// answer is "ok" or "error <message>" on its first line, then the lines of
// the result, until the Today screen closes the connection.
//
//   text                 one refresh cycle and a repaint; a line per item: the text it drew
//   key left|right|up|down|action
//   tap ITEM             ITEM: the registration's key name
//   screenshot PATH      PATH: an absolute host path of a PNG file to write
//   reload               what the settings-change broadcast (WM_WININICHANGE 0xF2) does
#pragma once

#include <filesystem>

#include <handset/device.h>

namespace today {

inline std::filesystem::path socketPath()
{
    return handset::deviceRoot() / "run" / "today.sock";
}

}  // namespace today
