// The device clock. It runs at the host's pace unless told otherwise and can
// be set to any time of day, so that schedules can be tried at any hour.
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

// The device clock's offset from the host's local time, now.
std::chrono::milliseconds clockOffset();

// How many device seconds pass in one second of the host: 1 unless set.
// Everything the device times by its own clock (the time of day, the
// rounds of a ring) follows it, so that a minute of ringing can be tried in
// seconds.
double clockRate();
inline constexpr double kMinClockRate = 0.01;
inline constexpr double kMaxClockRate = 1000.0;

// From now on the device clock runs at `rate` (kMinClockRate to
// kMaxClockRate), going on from the time it shows. False when the rate is
// out of range or the clock file cannot be written. resetClock() also
// brings the pace back to 1.
[[nodiscard]] bool setClockRate(double rate);

}  // namespace handset
