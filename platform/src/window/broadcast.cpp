// The settings-change broadcast beyond this process: the Today screen is a
// program of its own here, so a broadcast WM_WININICHANGE 0xF2 is carried
// to it over its socket (run/today.sock), as the phone's window manager
// carries it to the Today screen's window.
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <handset/device.h>
#include <handset/log.h>

#include "window_internal.h"

namespace handset::window {

void tellTodayScreen(bool waitForIt)
{
    // The Today screen's own broadcast reaches its window in-process; asking
    // its socket would wait on the thread that is sending.
    if (programName() == "today")
        return;
    const std::string path = (deviceRoot() / "run" / "today.sock").string();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    // A Today screen that is not running is no one to tell.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    // A Today screen that hangs must not hang the sender for ever.
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    const char request[] = "reload\n";
    bool sent = ::send(fd, request, sizeof request - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof request - 1);
    if (sent && waitForIt) {
        // The answer comes once the items have been reloaded; then the screen closes the connection.
        std::string answer;
        char buffer[256];
        ssize_t n = 0;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            answer.append(buffer, static_cast<std::size_t>(n));
        if (answer.rfind("ok", 0) != 0)
            logLine("window", "the Today screen did not reload: " + answer.substr(0, answer.find('\n')));
    }
    ::close(fd);
}

}  // namespace handset::window
