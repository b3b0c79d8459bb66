// The exchange of `handset screen` and `handset input` with a program that
// shows windows: finding the program, one framed request, one framed answer
// (handset/screen_requests.h), and at most kAnswerSeconds of waiting.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <handset/screen_requests.h>

#include "commands.h"

namespace handset::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Candidate {
    fs::path socket;
    std::string program;
    long pid = 0;
    timespec shown{};  // when it last showed a form
};

std::string lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The programs serving requests, the one that showed a form last first.
std::vector<Candidate> candidates(std::string_view wanted)
{
    std::vector<Candidate> found;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(screen::socketFolder(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= 5 || name.compare(name.size() - 5, 5, ".sock") != 0)
            continue;
        const std::string stem = name.substr(0, name.size() - 5);
        const std::size_t dot = stem.rfind('.');
        if (dot == std::string::npos || dot == 0)
            continue;
        Candidate c{entry.path(), stem.substr(0, dot)};
        const std::string pid = stem.substr(dot + 1);
        if (pid.empty() || pid.size() > 9 || !std::all_of(pid.begin(), pid.end(), ::isdigit))
            continue;
        c.pid = std::stol(pid);
        if (!wanted.empty() && lower(c.program) != lower(std::string(wanted)))
            continue;
        struct stat info {};
        if (::stat(c.socket.c_str(), &info) != 0)
            continue;
        c.shown = info.st_mtim;
        found.push_back(std::move(c));
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
        return a.shown.tv_sec != b.shown.tv_sec ? a.shown.tv_sec > b.shown.tv_sec : a.shown.tv_nsec > b.shown.tv_nsec;
    });
    return found;
}

int connectTo(const fs::path& socket)
{
    // A long device path is reached through its folder's descriptor.
    const int folder = ::open(socket.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return -1;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::string name = socket.string();
    if (name.size() >= sizeof address.sun_path)
        name = "/proc/self/fd/" + std::to_string(folder) + "/" + socket.filename().string();
    int fd = -1;
    if (name.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::close(folder);
    return fd;
}

// Waits until the descriptor is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

enum class Io { Done, Closed, TimedOut };

Io readExactly(int fd, char* data, std::size_t size, Clock::time_point deadline)
{
    while (size > 0) {
        if (!waitFor(fd, POLLIN, deadline))
            return Io::TimedOut;
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Io::Closed;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return Io::Done;
}

Io writeExactly(int fd, std::string_view bytes, Clock::time_point deadline)
{
    while (!bytes.empty()) {
        if (!waitFor(fd, POLLOUT, deadline))
            return Io::TimedOut;
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return Io::Closed;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return Io::Done;
}

}  // namespace

int askProgramWithWindows(std::string_view program, const std::vector<std::string>& words, std::string& result)
{
    const std::string body = screen::joinWords(words);
    if (body.size() > screen::kMaxRequestBytes)
        return fail("the request is longer than " + std::to_string(screen::kMaxRequestBytes) + " bytes");
    for (const Candidate& c : candidates(program)) {
        const int fd = connectTo(c.socket);
        if (fd < 0) {
            // A program that ended without removing its socket (it was killed).
            if (::kill(static_cast<pid_t>(c.pid), 0) != 0 && errno == ESRCH) {
                std::error_code ec;
                fs::remove(c.socket, ec);
            }
            continue;
        }
        const std::string who = c.program + " (pid " + std::to_string(c.pid) + ")";
        const auto deadline = Clock::now() + std::chrono::seconds(screen::kAnswerSeconds);
        const std::string waited = " did not answer within " + std::to_string(screen::kAnswerSeconds) + " s";
        Io io = writeExactly(fd, screen::frame(body), deadline);
        char header[4];
        if (io == Io::Done)
            io = readExactly(fd, header, sizeof header, deadline);
        std::string answer;
        if (io == Io::Done) {
            const std::uint32_t length = screen::frameLength(reinterpret_cast<unsigned char*>(header));
            if (length > screen::kMaxAnswerBytes) {
                ::close(fd);
                return fail(who + " gave an answer longer than " + std::to_string(screen::kMaxAnswerBytes) + " bytes");
            }
            answer.resize(length);
            io = readExactly(fd, answer.data(), answer.size(), deadline);
        }
        ::close(fd);
        if (io == Io::TimedOut)
            return fail(who + waited);
        if (io == Io::Closed)
            return fail(who + " closed the connection without an answer; see `handset log`");
        const std::size_t end = answer.find('\n');
        const std::string status = answer.substr(0, end);
        if (status.rfind("error ", 0) == 0)
            return fail(status.substr(6));
        if (status != "ok" || end == std::string::npos)
            return fail(who + " gave no answer; see `handset log`");
        result = answer.substr(end + 1);
        return 0;
    }
    if (!program.empty())
        return fail(std::string(program) + " is not running on the device (or shows no window)");
    return fail("no program with windows is running on the device; start one with `handset boot` or `handset run`");
}

}  // namespace handset::cli
