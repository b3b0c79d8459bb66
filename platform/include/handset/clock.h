// The device clock. It runs at the host's pace but can be set to any time of
// day, so that schedules can be tried at any hour.
#pragma once

#include <chrono>

#include <handset/types.h>

// The device's local date and time.
void GetLocalTime(LPSYSTEMTIME lpSystemTime);

namespace handset {

// From now on the device's local time runs from hour:minute:00 today.
// Returns false when the clock file cannot be written or the time is invalid.
[[nodiscard]] bool setClockTimeOfDay(int hour, int minute);

// The device clock follows the host's local time again.
[[nodiscard]] bool resetClock();

// The device clock's offset from the host's local time.
std::chrono::milliseconds clockOffset();

}  // namespace handset
