#include <handset/host_file.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace handset {

std::optional<std::string> readHostFile(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

bool writeHostFile(const std::filesystem::path& file, std::string_view bytes)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (!writeFully(fd, bytes)) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return false;
    }
    return ::close(fd) == 0;
}

bool readFully(int fd, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool writeFully(int fd, std::string_view bytes)
{
    // send() with MSG_NOSIGNAL keeps a vanished peer from killing the
    // process; a descriptor that is no socket takes plain write() instead.
    bool socket = true;
    while (!bytes.empty()) {
        ssize_t n = socket ? ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) : ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == ENOTSOCK && socket) {
            socket = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace handset
