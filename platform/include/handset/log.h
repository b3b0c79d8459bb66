// The device log: one line per event, appended by every program of the
// device, in the form
//   YYYY-MM-DDTHH:MM:SS.mmm <program>[<pid>] <channel>: <text>
// with the time taken from the device clock.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace handset {

// Appends one line. Line ends inside `text` are replaced by spaces so that a
// line is always one event. Failure to write is silent: logging never stops
// the phone.
void logLine(std::string_view channel, std::string_view text);

// The name this process signs its log lines with (default: the executable's).
void setProgramName(std::string name);
std::string programName();

std::filesystem::path deviceLogPath();

}  // namespace handset
