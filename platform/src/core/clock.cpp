#include <handset/clock.h>

#include <cerrno>
#include <charconv>
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

// The offset is kept in a file of the device rather than in memory so that
// every program of the device, started before or after the change, agrees on
// the time.
milliseconds readOffset()
{
    const int fd = ::open(clockFile().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return milliseconds{0};
    char text[32];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    long long value = 0;
    if (n <= 0 || std::from_chars(text, text + n, value).ec != std::errc{})
        return milliseconds{0};
    return milliseconds{value};
}

bool writeOffset(milliseconds offset)
{
    const std::filesystem::path target = clockFile();
    const std::filesystem::path temporary = target.string() + ".new";
    const std::string text = std::to_string(offset.count()) + "\n";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written && std::rename(temporary.c_str(), target.c_str()) == 0;
}

}  // namespace

milliseconds clockOffset()
{
    return readOffset();
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
    return writeOffset(duration_cast<milliseconds>(target - now));
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
