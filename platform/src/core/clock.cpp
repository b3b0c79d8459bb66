#include <handset/clock.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include <handset/device.h>

namespace handset {

namespace {

using namespace std::chrono;

std::filesystem::path clockFile()
{
    return deviceRoot() / "clock";
}

// The clock is kept in a file of the device rather than in memory so that
// every program of the device, started before or after the change, agrees on
// the time. The file holds the offset from the host's time at the anchor,
// and, when the clock runs at another pace than the host's, that rate and
// the anchor (host milliseconds since the epoch): an older file holds the
// offset alone.
struct ClockState {
    milliseconds offset{0};
    double rate = 1.0;
    milliseconds anchor{0};
};

milliseconds hostNow()
{
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch());
}

ClockState readState()
{
    ClockState state;
    const int fd = ::open(clockFile().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return state;
    char text[96];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return state;
    text[n] = '\0';
    long long offset = 0, anchor = 0;
    double rate = 1.0;
    const int fields = std::sscanf(text, "%lld %lf %lld", &offset, &rate, &anchor);
    if (fields < 1)
        return state;
    state.offset = milliseconds{offset};
    if (fields == 3 && rate > 0) {
        state.rate = rate;
        state.anchor = milliseconds{anchor};
    }
    return state;
}

bool writeState(const ClockState& state)
{
    const std::filesystem::path target = clockFile();
    const std::filesystem::path temporary = target.string() + ".new";
    char text[96];
    std::snprintf(text, sizeof text, "%lld %.6g %lld\n", static_cast<long long>(state.offset.count()), state.rate,
                  static_cast<long long>(state.anchor.count()));
    const std::string line = text;
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return written && std::rename(temporary.c_str(), target.c_str()) == 0;
}

// The device's offset from the host at host time `now`: a faster clock
// gains on the host from its anchor on.
milliseconds offsetAt(const ClockState& state, milliseconds now)
{
    if (state.rate == 1.0)
        return state.offset;
    const double gained = (state.rate - 1.0) * static_cast<double>((now - state.anchor).count());
    return state.offset + milliseconds{static_cast<long long>(gained)};
}

}  // namespace

milliseconds clockOffset()
{
    return offsetAt(readState(), hostNow());
}

double clockRate()
{
    return readState().rate;
}

bool setClockRate(double rate)
{
    if (!(rate >= kMinClockRate && rate <= kMaxClockRate))
        return false;
    // The device's time of day goes on from where it is, at the new pace.
    ClockState state = readState();
    const milliseconds now = hostNow();
    state.offset = offsetAt(state, now);
    state.anchor = now;
    state.rate = rate;
    return writeState(state);
}

bool setClockTimeOfDay(int hour, int minute)
{
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
        return false;
    // Whole milliseconds, as GetLocalTime reads the host clock, so that the
    // first reading after the change is not a millisecond early.
    const auto now = time_point_cast<milliseconds>(system_clock::now());
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    const auto target = system_clock::from_time_t(std::mktime(&local));
    ClockState state = readState();
    state.offset = duration_cast<milliseconds>(target - now);
    state.anchor = now.time_since_epoch();
    return writeState(state);
}

bool resetClock()
{
    std::error_code ec;
    std::filesystem::remove(clockFile(), ec);
    return !ec;
}

}  // namespace handset

void GetLocalTime(LPSYSTEMTIME lpSystemTime)
{
    using namespace std::chrono;
    if (!lpSystemTime)
        return;
    const auto now = time_point_cast<milliseconds>(system_clock::now()) + handset::clockOffset();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto sinceEpoch = now.time_since_epoch().count();
    lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
    lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
    lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
    lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
    lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
    lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec);
    lpSystemTime->wMilliseconds = static_cast<WORD>(((sinceEpoch % 1000) + 1000) % 1000);
}
