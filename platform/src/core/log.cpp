#include <handset/log.h>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include <handset/clock.h>
#include <handset/device.h>

#include "core/device_internal.h"

namespace handset {

namespace {

std::mutex logMutex;
std::string signature;                 // guarded by logMutex
int logFd = -1;                        // guarded by logMutex
std::uint64_t logGeneration = 0;       // device the descriptor belongs to

// Opens the log of the current device once; the descriptor is kept because
// every event of a busy service writes a line.
int logDescriptor()
{
    const std::uint64_t current = detail::deviceGeneration();
    if (logFd >= 0 && logGeneration == current)
        return logFd;
    if (logFd >= 0)
        ::close(logFd);
    const std::filesystem::path path = deviceLogPath();
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    logFd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    logGeneration = current;
    return logFd;
}

}  // namespace

std::filesystem::path deviceLogPath()
{
    return deviceRoot() / "log" / "device.log";
}

void setProgramName(std::string name)
{
    std::lock_guard lock(logMutex);
    signature = std::move(name);
}

std::string programName()
{
    std::lock_guard lock(logMutex);
    return signature.empty() ? std::string(program_invocation_short_name) : signature;
}

void logLine(std::string_view channel, std::string_view text)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string program = programName();

    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u.%03u ", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    std::string line = stamp;
    line += program;
    line += '[' + std::to_string(::getpid()) + "] ";
    line += channel;
    line += ": ";
    for (char c : text)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';

    // One write per line: with O_APPEND the lines of several processes never
    // interleave.
    std::lock_guard lock(logMutex);
    const int fd = logDescriptor();
    if (fd < 0)
        return;
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace handset
